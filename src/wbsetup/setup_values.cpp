// The setup values, the setup block's layout and the field text rules.
#include "wbsetup/setup_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

SetupRecord SetupValues = DEFAULT_SETUP;

namespace {
// Offsets within the setup block.
enum SetupBlockOffset : int {
    BLOCK_STOICH = 0,     // 2 bytes
    BLOCK_FLAGS = 2,      // low byte of SetupFlags
    BLOCK_RESPONSE_A = 5, // ResponseValue >> 1, channel A then B
    BLOCK_CHANNEL_A = 7,  // Volts1, Volts2 (1 byte each), Afr1, Afr2 (2 bytes each)
    BLOCK_CHANNEL_B = 13,
    BLOCK_NB_OFFSET = 19,
};
constexpr int CHANNEL_FIELDS_SIZE = BLOCK_CHANNEL_B - BLOCK_CHANNEL_A;

// The text's rounding step: 0.55 rather than 0.5, so 2.446 V is stored as 25.
constexpr double FIELD_ROUNDING = 0.55;
constexpr double NB_OFFSET_STEP = 0.001; // lambda per step of NbOffset

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t SkipDigits(std::string_view text, size_t at) {
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    return at;
}

void Store16(uint8_t* at, int32_t value) {
    at[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
    at[1] = static_cast<uint8_t>(value & 0xFF);
}

void Store8(uint8_t* at, int32_t value) {
    at[0] = static_cast<uint8_t>(value & 0xFF);
}

int32_t Load16(const uint8_t* at) {
    return at[0] * 256 + at[1];
}

void PackChannel(const ChannelSetup& channel, uint8_t* at) {
    Store8(at + 0, channel.Volts1);
    Store8(at + 1, channel.Volts2);
    Store16(at + 2, channel.Afr1);
    Store16(at + 4, channel.Afr2);
}

void UnpackChannel(const uint8_t* at, ChannelSetup& channel) {
    channel.Volts1 = at[0];
    channel.Volts2 = at[1];
    channel.Afr1 = Load16(at + 2);
    channel.Afr2 = Load16(at + 4);
}
} // namespace

int FindResponseChoice(int32_t value) {
    for (int row = 0; row < RESPONSE_CHOICE_COUNT; ++row)
        if (ResponseChoices[static_cast<size_t>(row)].value == value)
            return row;
    return -1;
}

void MatchResponseRows(SetupRecord& values) {
    for (ChannelSetup& channel : values.Channel) {
        int row = FindResponseChoice(channel.ResponseValue);
        if (row >= 0)
            channel.ResponseIndex = row;
    }
}

void PackSetupBlock(const SetupRecord& values, std::array<uint8_t, DEVICE_INFO_SIZE>& info) {
    uint8_t* block = info.data() + SETUP_BLOCK_OFFSET;
    std::fill(block, block + SETUP_BLOCK_SIZE, SETUP_BLOCK_FILLER);
    Store16(block + BLOCK_STOICH, values.StoichAfr);
    Store8(block + BLOCK_FLAGS, values.SetupFlags);
    block[3] = 0;
    block[4] = 0;
    for (int channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        const ChannelSetup& setup = values.Channel[static_cast<size_t>(channel)];
        Store8(block + BLOCK_RESPONSE_A + channel, setup.ResponseValue >> 1);
        PackChannel(setup, block + BLOCK_CHANNEL_A + CHANNEL_FIELDS_SIZE * channel);
    }
    Store8(block + BLOCK_NB_OFFSET, values.NbOffset);
}

void UnpackSetupBlock(const std::array<uint8_t, DEVICE_INFO_SIZE>& info, SetupRecord& values) {
    const uint8_t* block = info.data() + SETUP_BLOCK_OFFSET;
    values.StoichAfr = Load16(block + BLOCK_STOICH);
    values.SetupFlags = block[BLOCK_FLAGS];
    for (int channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        ChannelSetup& setup = values.Channel[static_cast<size_t>(channel)];
        setup.ResponseValue = block[BLOCK_RESPONSE_A + channel] * 2;
        UnpackChannel(block + BLOCK_CHANNEL_A + CHANNEL_FIELDS_SIZE * channel, setup);
    }
    values.NbOffset = block[BLOCK_NB_OFFSET];
}

size_t ScanFieldNumber(std::string_view text, double& x) {
    x = 0.0;
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    size_t mantissa = at;
    size_t end = SkipDigits(text, at);
    size_t digits = end - mantissa;
    if (end < text.size() && text[end] == '.') {
        size_t fraction = end + 1;
        end = SkipDigits(text, fraction);
        digits += end - fraction;
    }
    if (digits == 0)
        return 0;
    bool exponentNegative = false;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            exponentNegative = text[exponent] == '-';
            ++exponent;
        }
        size_t exponentEnd = SkipDigits(text, exponent);
        if (exponentEnd > exponent)
            end = exponentEnd;
    }
    double magnitude = 0.0;
    std::from_chars_result result = std::from_chars(text.data() + mantissa, text.data() + end,
                                                    magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        magnitude = exponentNegative ? 0.0 : std::numeric_limits<double>::infinity();
    x = negative ? -magnitude : magnitude;
    return end;
}

int32_t ScaleFieldNumber(double x, int scale) {
    double scaled = x * scale + FIELD_ROUNDING;
    if (std::isnan(scaled))
        return 0;
    constexpr double lowest = std::numeric_limits<int32_t>::min();
    constexpr double highest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(scaled, lowest, highest));
}

int32_t ReadFieldText(std::string_view text, FieldKind kind) {
    double x = 0.0;
    ScanFieldNumber(text.substr(0, FIELD_TEXT_LIMIT), x);
    return ScaleFieldNumber(x, FieldRules[kind].scale);
}

int CheckFieldText(std::string_view text, FieldKind kind, int32_t& value) {
    const FieldRule& rule = FieldRules[kind];
    text = text.substr(0, FIELD_TEXT_LIMIT);
    double x = 0.0;
    ScanFieldNumber(text, x);
    int corrected = 1;
    if (x > rule.limit)
        x = rule.limit;
    else if (x < rule.lowest || text.empty())
        x = rule.lowest;
    else
        corrected = 0;
    value = ScaleFieldNumber(x, rule.scale);
    return corrected;
}

int FormatFieldValue(int32_t value, FieldKind kind, char* buffer, size_t size) {
    const FieldRule& rule = FieldRules[kind];
    if (size == 0)
        return 0;
    int length = std::snprintf(buffer, size, "%.*f", rule.decimals, value * (1.0 / rule.scale));
    return length < 0 ? 0 : std::min(length, static_cast<int>(size) - 1);
}

double NbSwitchLambda(int32_t offset) {
    return 1.0 + (offset - NB_OFFSET_CENTRE) * NB_OFFSET_STEP;
}

double StoichAfrOf(const SetupRecord& values) {
    return values.StoichAfr * 0.01;
}
