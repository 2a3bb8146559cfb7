// The setup block's layout, the response rows and the field text rules.
#include "wbsetup/setup_values.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;

// A channel's fields: volts 1, AFR 1, volts 2, AFR 2, response code, the row shown.
std::array<int32_t, 6> Fields(const ChannelSetup& c) {
    return {c.Volts1, c.Afr1, c.Volts2, c.Afr2, c.ResponseValue, c.ResponseIndex};
}

// How a record is packed is setup_file_test's: blocks taken through a file and back.
TEST(SetupBlock, UnpacksAsTheUnitHoldsIt) {
    Info info{};
    SetupRecord values = DEFAULT_SETUP;
    // Every byte unsigned, the response codes doubled; bytes 3 and 4 ignored; code 66 (33)
    // has no row and keeps the one shown, code 16 (8) is "Slowest".
    const Bytes raw = {0xFE, 0xDC, 0xF3, 0x77, 0x88, 33,   8,    0xFF, 0x81, 0x80,
                       0x01, 0x12, 0x34, 7,    44,   0x03, 0x84, 0x06, 0x40, 0xC9};
    std::copy(raw.begin(), raw.end(), &info[4]);
    values.Channel[CHANNEL_A].ResponseIndex = 5;
    UnpackSetupBlock(info, values);
    MatchResponseRows(values);
    // Stoich from bytes 0 and 1, flags byte 2, the narrowband offset byte 19; channel A from
    // bytes 7, 9-10, 8, 11-12 and 5, B from 13, 15-16, 14, 17-18 and 6.
    EXPECT_EQ((std::array{values.StoichAfr, values.SetupFlags, values.NbOffset}),
              (std::array{0xFEDC, 0xF3, 0xC9}));
    EXPECT_EQ(Fields(values.Channel[CHANNEL_A]), (std::array{0xFF, 0x8001, 0x81, 0x1234, 66, 5}));
    EXPECT_EQ(Fields(values.Channel[CHANNEL_B]), (std::array{7, 0x0384, 44, 0x0640, 16, 0}));
}

TEST(FieldText, ReadsTheLeadingNumberRoundedWithTheOffsetOf055AndChecksItsRange) {
    // The text, its field; what ReadFieldText reads, CheckFieldText's result and the value it
    // leaves.
    const std::tuple<std::string, FieldKind, int32_t, int, int32_t> rows[] = {
        {"2.446", FIELD_VOLTS, 25, 0, 25},
        {"2.444", FIELD_VOLTS, 24, 0, 24},
        {"210", FIELD_AFR, 21000, 0, 21000},
        {"7", FIELD_VOLTS, 70, 1, 50},
        {"", FIELD_AFR, 0, 1, 0},
        {"abc", FIELD_AFR, 0, 0, 0},
        {" \t\n3.5V", FIELD_VOLTS, 35, 0, 35},
        {"2e", FIELD_VOLTS, 20, 0, 20},   // an exponent needs digits
        {"-1.5", FIELD_VOLTS, -14, 1, 0}, // truncation toward zero
        {"1e400", FIELD_AFR, INT32_MAX, 1, 21000},
        {"1e-400", FIELD_AFR, 0, 0, 0},
        {" -2.5E+1 ", FIELD_VOLTS, -249, 1, 0},
        {std::string(30, '0') + "12", FIELD_VOLTS, 10, 0, 10}, // 31 characters are read
        // No fuel burns with less than its own weight of air: the stoichiometric AFR starts at 1.
        {"0.99", FIELD_STOICH, 99, 1, 100},
        {"", FIELD_STOICH, 0, 1, 100},
        {"1", FIELD_STOICH, 100, 0, 100},
    };
    for (const auto& [text, kind, read, corrected, checked] : rows) {
        SCOPED_TRACE(text);
        int32_t value = -1;
        EXPECT_EQ((std::tuple{ReadFieldText(text, kind), CheckFieldText(text, kind, value), value}),
                  std::tuple(read, corrected, checked));
    }
    // Blanks to the end of their buffer: no number, and nothing read past it.
    std::vector<char> blanks(4, ' ');
    double x = 1;
    EXPECT_EQ(ScanFieldNumber({blanks.data(), blanks.size()}, x) + x, 0);
    // Shown with the field's decimals; a short buffer keeps what fits, one of no size nothing.
    char text[5] = "xxxx";
    EXPECT_EQ(FormatFieldValue(25, FIELD_VOLTS, text, 0), 0);
    for (auto [value, kind, shown] :
         {std::tuple(25, FIELD_VOLTS, "2.5"), {21000, FIELD_AFR, "210."}}) {
        EXPECT_EQ(FormatFieldValue(value, kind, text, sizeof text), int(std::string(shown).size()));
        EXPECT_STREQ(text, shown);
    }
}

} // namespace
