// The unit's analogue-output setup as the program edits it: the values, their defaults, the
// response rates, the 64-byte setup block in the unit's data block, and the rules that turn a
// field's text into a stored integer and back.
#pragma once

#include "link/link.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

enum SetupChannel : int { CHANNEL_A = 0, CHANNEL_B = 1 };
constexpr int SETUP_CHANNEL_COUNT = 2;

// Bit of SetupFlags: set, channel B is a linear output ("WB"); clear, it emulates a
// narrowband sensor ("NB").
constexpr int32_t SETUP_FLAG_B_LINEAR = 0x02;
constexpr int32_t NB_OFFSET_CENTRE = 128; // switch point at lambda 1.000
// The offsets a user may choose: the setup view's offset bar runs from 55 to 201 (its range up to
// 208 less a page of 8, plus 1), 0.073 of lambda each way; the setup block holds 0 to 255.
constexpr int32_t NB_OFFSET_USER_LOWEST = 55;
constexpr int32_t NB_OFFSET_USER_HIGHEST = 201;

struct ChannelSetup {
    int32_t Volts1;        // output volts x 10 at the first point
    int32_t Afr1;          // AFR x 100 of the first point
    int32_t Volts2;        // output volts x 10 at the second point
    int32_t Afr2;          // AFR x 100 of the second point
    int32_t ResponseValue; // response-rate code, normally one of ResponseChoices
    int32_t ResponseIndex; // row of ResponseChoices that the channel's Response box shows
};

struct SetupRecord {
    int32_t StoichAfr;  // stoichiometric AFR x 100
    int32_t SetupFlags; // only the low byte travels to and from the unit
    int32_t NbOffset;   // narrowband switch point: lambda 1 + (NbOffset - 128) x 0.001
    std::array<ChannelSetup, SETUP_CHANNEL_COUNT> Channel;
};

constexpr ChannelSetup DEFAULT_CHANNEL_SETUP = {0, 1000, 50, 2000, 128, 3};
constexpr SetupRecord DEFAULT_SETUP = {
    1470, 0, NB_OFFSET_CENTRE, {DEFAULT_CHANNEL_SETUP, DEFAULT_CHANNEL_SETUP}};

// The one process-wide set, owned by the main thread; starts with the defaults.
extern SetupRecord SetupValues;

// Lambda at channel B's narrowband switch point: 1 + (offset - 128) x 0.001.
double NbSwitchLambda(int32_t offset);
// The stoichiometric AFR as a number: StoichAfr x 0.01, the product the output tables are
// computed from.
double StoichAfrOf(const SetupRecord& values);

struct ResponseChoice {
    std::string_view name;
    int32_t value; // stored in the setup block shifted right by one bit
};
constexpr int RESPONSE_CHOICE_COUNT = 7;
// The rows of the Response combo boxes, in their order. The codes are not evenly spaced.
constexpr std::array<ResponseChoice, RESPONSE_CHOICE_COUNT> ResponseChoices = {{
    {"Slowest", 16},
    {"Slower", 64},
    {"Slow", 96},
    {"Medium", 128},
    {"Fast", 160},
    {"Faster", 192},
    {"Fastest", 240},
}};

// The row whose code is value, or -1.
int FindResponseChoice(int32_t value);
// Sets each channel's ResponseIndex to the row of its ResponseValue; a code in no row leaves
// the channel's row as it was.
void MatchResponseRows(SetupRecord& values);

// ---- The setup block: DeviceInfo bytes 4 to 67 ------------------------------------------

constexpr int SETUP_BLOCK_OFFSET = 4;
constexpr int SETUP_BLOCK_SIZE = 64;
constexpr uint8_t SETUP_BLOCK_FILLER = 0x5A;

// Fills the 64 bytes with the filler, then stores the fields, 16-bit numbers high byte first.
void PackSetupBlock(const SetupRecord& values, std::array<uint8_t, DEVICE_INFO_SIZE>& info);
// Takes every field of the block into values, both channels; ResponseIndex is left alone and
// SetupFlags becomes the flag byte itself.
void UnpackSetupBlock(const std::array<uint8_t, DEVICE_INFO_SIZE>& info, SetupRecord& values);

// ---- Field texts ----------------------------------------------------------------------

enum FieldKind : int { FIELD_VOLTS = 0, FIELD_AFR = 1, FIELD_STOICH = 2 };

struct FieldRule {
    int scale;     // stored integer = value x scale
    int decimals;  // shown with this many decimals
    double lowest; // smallest value a field lets through
    double limit;  // largest value a field lets through
    int32_t held;  // largest stored integer the setup block holds (one byte or two)
};
constexpr std::array<FieldRule, 3> FieldRules = {{
    {10, 1, 0.0, 5.0, 0xFF},      // volts
    {100, 2, 0.0, 210.0, 0xFFFF}, // AFR of a point
    // No fuel burns with less than its own weight of air; below 1 every table entry would sit
    // at one end of the output.
    {100, 2, 1.0, 210.0, 0xFFFF}, // stoichiometric AFR
}};

// Longest text of a field that is read.
constexpr size_t FIELD_TEXT_LIMIT = 31;

// Reads the leading decimal number of text (optional blanks, optional sign, digits with at
// most one decimal point, optional exponent) into x; returns the characters it took, 0 (and
// x = 0) when the text does not start with a number.
size_t ScanFieldNumber(std::string_view text, double& x);
// truncate(x * scale + 0.55) toward zero, held within the int32 range.
int32_t ScaleFieldNumber(double x, int scale);
// A field's text as stored: the first FIELD_TEXT_LIMIT characters, scanned and scaled.
int32_t ReadFieldText(std::string_view text, FieldKind kind);
// The check a field gets when it is left: a value above the limit becomes the limit, one
// below the lowest or an empty text becomes the lowest; value gets the stored integer. Returns 1
// when the value had to be corrected (the view beeps), else 0.
int CheckFieldText(std::string_view text, FieldKind kind, int32_t& value);
// The stored integer as the field shows it ("%.*f" of value / scale); returns the length.
int FormatFieldValue(int32_t value, FieldKind kind, char* buffer, size_t size);
