// Setup settings by name and their checks; the file is parsed by nlohmann-json, the object
// printed here so that each number keeps the decimals the setup view shows.
#include "cli/setup_settings.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>

namespace {
// The first three are the field kinds of the setup view.
enum SettingKind {
    SETTING_VOLTS = FIELD_VOLTS,
    SETTING_AFR = FIELD_AFR,
    SETTING_STOICH = FIELD_STOICH,
    SETTING_BYTE,
    SETTING_RESPONSE,
    SETTING_MODE
};

// A setting of the whole record, or a member of one channel's.
struct SettingRow {
    std::string_view key;
    SettingKind kind;
    int32_t SetupRecord::*whole;
    int channel;
    int32_t ChannelSetup::*member;
};

// In the order the object is printed.
constexpr std::array<SettingRow, 14> SettingRows = {{
    {"stoich_afr", SETTING_STOICH, &SetupRecord::StoichAfr, 0, nullptr},
    {"flags", SETTING_BYTE, &SetupRecord::SetupFlags, 0, nullptr},
    {"a1_volts", SETTING_VOLTS, nullptr, CHANNEL_A, &ChannelSetup::Volts1},
    {"a1_afr", SETTING_AFR, nullptr, CHANNEL_A, &ChannelSetup::Afr1},
    {"a2_volts", SETTING_VOLTS, nullptr, CHANNEL_A, &ChannelSetup::Volts2},
    {"a2_afr", SETTING_AFR, nullptr, CHANNEL_A, &ChannelSetup::Afr2},
    {"a_response", SETTING_RESPONSE, nullptr, CHANNEL_A, &ChannelSetup::ResponseValue},
    {"b_mode", SETTING_MODE, &SetupRecord::SetupFlags, 0, nullptr},
    {"b1_volts", SETTING_VOLTS, nullptr, CHANNEL_B, &ChannelSetup::Volts1},
    {"b1_afr", SETTING_AFR, nullptr, CHANNEL_B, &ChannelSetup::Afr1},
    {"b2_volts", SETTING_VOLTS, nullptr, CHANNEL_B, &ChannelSetup::Volts2},
    {"b2_afr", SETTING_AFR, nullptr, CHANNEL_B, &ChannelSetup::Afr2},
    {"b_response", SETTING_RESPONSE, nullptr, CHANNEL_B, &ChannelSetup::ResponseValue},
    {"nb_offset", SETTING_BYTE, &SetupRecord::NbOffset, 0, nullptr},
}};

int32_t& Slot(const SettingRow& row, SetupRecord& values) {
    return row.whole != nullptr ? values.*row.whole
                                : values.Channel[static_cast<size_t>(row.channel)].*row.member;
}

bool SameWord(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool Refuse(const SettingRow& row, const nlohmann::json& value, const std::string& allowed,
            std::string& error) {
    error = std::string(row.key) + " takes " + allowed + ", not " +
            value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return false;
}

bool ApplySetting(const SettingRow& row, const nlohmann::json& value, SetupRecord& values,
                  std::string& error) {
    int32_t& slot = Slot(row, values);
    double x = value.is_number() ? value.get<double>() : -1.0;
    std::array<char, 48> allowed{};
    switch (row.kind) {
    case SETTING_VOLTS:
    case SETTING_AFR:
    case SETTING_STOICH: {
        const FieldRule& rule = FieldRules[static_cast<size_t>(row.kind)];
        std::snprintf(allowed.data(), allowed.size(), "a number from %g to %g", rule.lowest,
                      rule.limit);
        if (!(x >= rule.lowest && x <= rule.limit))
            return Refuse(row, value, allowed.data(), error);
        slot = ScaleFieldNumber(x, rule.scale);
        return true;
    }
    case SETTING_BYTE:
        if (!(x >= 0.0 && x <= 255.0 && x == std::floor(x)))
            return Refuse(row, value, "a whole number from 0 to 255", error);
        slot = static_cast<int32_t>(x);
        return true;
    case SETTING_RESPONSE: {
        for (int choice = 0; choice < RESPONSE_CHOICE_COUNT && value.is_string(); ++choice) {
            if (SameWord(value.get_ref<const std::string&>(), ResponseChoices[choice].name)) {
                values.Channel[static_cast<size_t>(row.channel)].ResponseIndex = choice;
                slot = ResponseChoices[static_cast<size_t>(choice)].value;
                return true;
            }
        }
        std::string names = "one of";
        for (const ResponseChoice& choice : ResponseChoices)
            names.append(" ").append(choice.name);
        return Refuse(row, value, names, error);
    }
    case SETTING_MODE:
        if (value.is_string() && SameWord(value.get_ref<const std::string&>(), "wb")) {
            slot |= SETUP_FLAG_B_LINEAR;
            return true;
        }
        if (value.is_string() && SameWord(value.get_ref<const std::string&>(), "nb")) {
            slot &= ~SETUP_FLAG_B_LINEAR;
            return true;
        }
        return Refuse(row, value, "\"wb\" or \"nb\"", error);
    }
    return false;
}

std::string SettingText(const SettingRow& row, SetupRecord& values) {
    int32_t slot = Slot(row, values);
    std::array<char, 32> text{};
    switch (row.kind) {
    case SETTING_VOLTS:
    case SETTING_AFR:
    case SETTING_STOICH:
        FormatFieldValue(slot, static_cast<FieldKind>(row.kind), text.data(), text.size());
        return text.data();
    case SETTING_BYTE:
        return std::to_string(slot & 0xFF);
    case SETTING_RESPONSE: {
        int choice = FindResponseChoice(slot);
        return choice < 0 ? "null" : JsonString(ResponseChoices[static_cast<size_t>(choice)].name);
    }
    case SETTING_MODE:
        return JsonString((slot & SETUP_FLAG_B_LINEAR) != 0 ? "wb" : "nb");
    }
    return "null";
}
} // namespace

bool ApplySettings(const nlohmann::json& settings, SetupRecord& values, std::string& error) {
    SetupRecord updated = values;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [key, value] : settings.items()) {
            if ((key == "flags") != (pass == 0))
                continue;
            const SettingRow* row = nullptr;
            for (const SettingRow& candidate : SettingRows)
                row = candidate.key == key ? &candidate : row;
            if (row == nullptr) {
                error = "unknown setting " + key;
                return false;
            }
            if (!ApplySetting(*row, value, updated, error))
                return false;
        }
    }
    values = updated;
    return true;
}

bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::string text(MAX_SETUP_FILE_SIZE + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (!file.is_open() || file.bad()) {
        error = "cannot read " + path;
        return false;
    }
    if (text.size() > MAX_SETUP_FILE_SIZE) {
        error = path + " is larger than 64 KiB, too large for a setup file";
        return false;
    }
    // The parser keeps the last of two equal keys; a file that has them is refused instead.
    std::set<std::string> keys;
    std::string twice;
    auto noteKey = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 &&
            !keys.insert(parsed.get<std::string>()).second)
            twice = parsed.get<std::string>();
        return true;
    };
    nlohmann::json settings;
    try {
        settings = nlohmann::json::parse(text, noteKey);
    } catch (const nlohmann::json::exception& e) {
        // A syntax error or a number too large for a double. The message leads with the
        // library's error number; the position or the number follows it.
        std::string_view what = e.what();
        error = path + ": " + std::string(what.substr(what.find("] ") + 2));
        return false;
    }
    if (!settings.is_object())
        error = path + ": the setup must be one JSON object";
    else if (!twice.empty())
        error = path + ": setting " + twice + " is given twice";
    else if (!ApplySettings(settings, values, error))
        error = path + ": " + error;
    else
        return true;
    return false;
}

std::string SetupToJson(const SetupRecord& values) {
    SetupRecord copy = values;
    std::string out = "{\n";
    for (const SettingRow& row : SettingRows)
        out += "  " + JsonString(row.key) + ": " + SettingText(row, copy) +
               (&row == &SettingRows.back() ? "\n" : ",\n");
    return out + "}\n";
}

std::string JsonString(std::string_view text) {
    std::string utf8;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return nlohmann::json(utf8).dump(-1, ' ', true);
}
