// The setup's values by name: one row for each value of a SetupRecord that a user sets, with the
// key that the setup file and mq6 give it, where the record keeps it, its kind and its range.
// The Wide Band Setup view, the setup file, mq6 setup and mq6 doctor all read it.
#pragma once

#include "wbsetup/setup_values.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The first three are the field kinds of the setup view.
enum SettingKind : int {
    SETTING_VOLTS = FIELD_VOLTS,
    SETTING_AFR = FIELD_AFR,
    SETTING_STOICH = FIELD_STOICH,
    SETTING_BYTE,     // a whole number 0 to 255
    SETTING_OFFSET,   // the narrowband offset: a byte, of which a user sets 55 to 201
    SETTING_RESPONSE, // a rate by its name in ResponseChoices; the member holds its code
    SETTING_MODE,     // channel B's mode, "wb" or "nb": the SETUP_FLAG_B_LINEAR bit
};

constexpr int WHOLE_RECORD = -1; // the channel of a value that belongs to no channel

struct SetupFieldRow {
    std::string_view key;
    int channel;                   // CHANNEL_A, CHANNEL_B or WHOLE_RECORD
    int32_t ChannelSetup::*member; // a channel's value
    int32_t SetupRecord::*whole;   // or the whole record's
    SettingKind kind;
    double lowest; // the range a number is taken in from a user; a field's is its check's
    double limit;
    double heldLimit; // the largest a setup file gives, as the setup block holds it (from 0)
};

namespace setup_fields_detail {
constexpr SetupFieldRow Row(std::string_view key, int channel, int32_t ChannelSetup::*member,
                            int32_t SetupRecord::*whole, SettingKind kind) {
    double lowest = 0.0;
    double limit = 255.0;
    double heldLimit = 255.0;
    if (kind == SETTING_OFFSET) {
        lowest = NB_OFFSET_USER_LOWEST;
        limit = NB_OFFSET_USER_HIGHEST;
    }
    if (kind == SETTING_VOLTS || kind == SETTING_AFR || kind == SETTING_STOICH) {
        const FieldRule& rule = FieldRules[static_cast<size_t>(kind)];
        lowest = rule.lowest;
        limit = rule.limit;
        heldLimit = rule.held / static_cast<double>(rule.scale);
    }
    return {key, channel, member, whole, kind, lowest, limit, heldLimit};
}
constexpr SetupFieldRow Whole(std::string_view key, int32_t SetupRecord::*whole, SettingKind kind) {
    return Row(key, WHOLE_RECORD, nullptr, whole, kind);
}
constexpr SetupFieldRow Member(std::string_view key, int channel, int32_t ChannelSetup::*member,
                               SettingKind kind) {
    return Row(key, channel, member, nullptr, kind);
}
} // namespace setup_fields_detail

// Rows by their place in FieldTable.
enum SetupFieldIndex : int {
    SETUP_STOICH_AFR,
    SETUP_FLAGS,
    SETUP_A1_VOLTS,
    SETUP_A1_AFR,
    SETUP_A2_VOLTS,
    SETUP_A2_AFR,
    SETUP_A_RESPONSE,
    SETUP_B_MODE,
    SETUP_B1_VOLTS,
    SETUP_B1_AFR,
    SETUP_B2_VOLTS,
    SETUP_B2_AFR,
    SETUP_B_RESPONSE,
    SETUP_NB_OFFSET,
    FIELD_TABLE_SIZE
};

// In the order the setup file prints them.
constexpr std::array<SetupFieldRow, FIELD_TABLE_SIZE> FieldTable = {{
    setup_fields_detail::Whole("stoich_afr", &SetupRecord::StoichAfr, SETTING_STOICH),
    setup_fields_detail::Whole("flags", &SetupRecord::SetupFlags, SETTING_BYTE),
    setup_fields_detail::Member("a1_volts", CHANNEL_A, &ChannelSetup::Volts1, SETTING_VOLTS),
    setup_fields_detail::Member("a1_afr", CHANNEL_A, &ChannelSetup::Afr1, SETTING_AFR),
    setup_fields_detail::Member("a2_volts", CHANNEL_A, &ChannelSetup::Volts2, SETTING_VOLTS),
    setup_fields_detail::Member("a2_afr", CHANNEL_A, &ChannelSetup::Afr2, SETTING_AFR),
    setup_fields_detail::Member("a_response", CHANNEL_A, &ChannelSetup::ResponseValue,
                                SETTING_RESPONSE),
    setup_fields_detail::Whole("b_mode", &SetupRecord::SetupFlags, SETTING_MODE),
    setup_fields_detail::Member("b1_volts", CHANNEL_B, &ChannelSetup::Volts1, SETTING_VOLTS),
    setup_fields_detail::Member("b1_afr", CHANNEL_B, &ChannelSetup::Afr1, SETTING_AFR),
    setup_fields_detail::Member("b2_volts", CHANNEL_B, &ChannelSetup::Volts2, SETTING_VOLTS),
    setup_fields_detail::Member("b2_afr", CHANNEL_B, &ChannelSetup::Afr2, SETTING_AFR),
    setup_fields_detail::Member("b_response", CHANNEL_B, &ChannelSetup::ResponseValue,
                                SETTING_RESPONSE),
    setup_fields_detail::Whole("nb_offset", &SetupRecord::NbOffset, SETTING_OFFSET),
}};

// The member of values that a row names.
int32_t& FieldSlot(const SetupFieldRow& row, SetupRecord& values);
int32_t FieldSlot(const SetupFieldRow& row, const SetupRecord& values);
// The row of a key, or nullptr.
const SetupFieldRow* FindSetupField(std::string_view key);
// Whether a number lies in the range a user may give it (lowest to limit), the range the setup
// view limits such a field to when it is left; a setting that is no number always does.
bool InsideUserRange(const SetupFieldRow& row, int32_t value);
// A Response code that is none of the seven rates, in words: "code 66 (none of the seven rates)".
std::string ResponseCodeWords(int32_t code);
// Each value of values that a user could not give (beyond its field's or option's range, a
// Response code of no rate), with what it is and what it takes: "a1_volts 7.5 (0 to 5),
// a_response code 66 (none of the seven rates)"; empty when none is. The setup view asks before it
// writes such values, mq6 writes them only with --force, and its doctor warns of them.
std::string OutsideUserRangeWords(const SetupRecord& values);
