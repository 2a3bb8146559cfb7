// The setup block's layout, the response rows and the field text rules.
#include "wbsetup/setup_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BlockOf(const std::array<uint8_t, DEVICE_INFO_SIZE>& info) {
    return Bytes(info.begin() + SETUP_BLOCK_OFFSET,
                 info.begin() + SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE);
}

Bytes DefaultBlock() {
    Bytes block = {0x05, 0xBE, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x32, 0x03,
                   0xE8, 0x07, 0xD0, 0x00, 0x32, 0x03, 0xE8, 0x07, 0xD0, 0x80};
    block.resize(SETUP_BLOCK_SIZE, 0x5A);
    return block;
}

bool SameValues(const SetupRecord& a, const SetupRecord& b) {
    auto same = [](const ChannelSetup& x, const ChannelSetup& y) {
        return x.Volts1 == y.Volts1 && x.Afr1 == y.Afr1 && x.Volts2 == y.Volts2 &&
               x.Afr2 == y.Afr2 && x.ResponseValue == y.ResponseValue &&
               x.ResponseIndex == y.ResponseIndex;
    };
    return a.StoichAfr == b.StoichAfr && a.SetupFlags == b.SetupFlags && a.NbOffset == b.NbOffset &&
           same(a.Channel[0], b.Channel[0]) && same(a.Channel[1], b.Channel[1]);
}

TEST(SetupBlock, DefaultsPackToTheUnitsFactoryBlock) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info;
    info.fill(0xEE);
    PackSetupBlock(DEFAULT_SETUP, info);
    EXPECT_EQ(BlockOf(info), DefaultBlock());
    EXPECT_EQ(info[3], 0xEE) << "bytes outside 4 to 67 stay";
    EXPECT_EQ(info[68], 0xEE);
    SetupRecord values = {1, 2, 3, {{{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}}}};
    UnpackSetupBlock(info, values);
    MatchResponseRows(values);
    EXPECT_TRUE(SameValues(values, DEFAULT_SETUP)) << "and the factory block unpacks to them";
}

TEST(SetupBlock, UnpackTakesEveryFieldUnsigned) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    SetupRecord values = DEFAULT_SETUP;
    values.StoichAfr = 0xFEDC;
    values.SetupFlags = 0xF3;
    values.NbOffset = 0xC9;
    values.Channel[CHANNEL_A] = {0xFF, 0x8001, 0x81, 0x1234, 240, 6};
    values.Channel[CHANNEL_B] = {7, 900, 44, 1600, 16, 0};
    PackSetupBlock(values, info);
    info[SETUP_BLOCK_OFFSET + 3] = 0x77; // ignored when read
    info[SETUP_BLOCK_OFFSET + 4] = 0x88;

    SetupRecord read = DEFAULT_SETUP;
    UnpackSetupBlock(info, read);
    EXPECT_EQ(read.StoichAfr, 0xFEDC);
    EXPECT_EQ(read.SetupFlags, 0xF3);
    EXPECT_EQ(read.NbOffset, 0xC9);
    EXPECT_EQ(read.Channel[CHANNEL_A].Volts1, 0xFF);
    EXPECT_EQ(read.Channel[CHANNEL_A].Afr1, 0x8001);
    EXPECT_EQ(read.Channel[CHANNEL_A].Volts2, 0x81);
    EXPECT_EQ(read.Channel[CHANNEL_A].Afr2, 0x1234);
    EXPECT_EQ(read.Channel[CHANNEL_A].ResponseValue, 240);
    EXPECT_EQ(read.Channel[CHANNEL_A].ResponseIndex, 3) << "the block has no rows";
    EXPECT_EQ(read.Channel[CHANNEL_B].Volts1, 7);
    EXPECT_EQ(read.Channel[CHANNEL_B].Afr2, 1600);
    EXPECT_EQ(read.Channel[CHANNEL_B].ResponseValue, 16);
}

TEST(SetupBlock, OnlyTheFlagsLowByteTravelsAndItsUpperBitsComeBack) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    SetupRecord values = DEFAULT_SETUP;
    values.SetupFlags = 0x1F1;
    PackSetupBlock(values, info);
    EXPECT_EQ(info[SETUP_BLOCK_OFFSET + 2], 0xF1);
    UnpackSetupBlock(info, values);
    EXPECT_EQ(values.SetupFlags, 0xF1);
    PackSetupBlock(values, info);
    EXPECT_EQ(info[SETUP_BLOCK_OFFSET + 2], 0xF1);
}

TEST(ResponseRows, CodesMatchTheirRowsAndUnlistedCodesKeepTheRow) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(DEFAULT_SETUP, info);
    info[SETUP_BLOCK_OFFSET + 5] = 33; // code 66: no row
    info[SETUP_BLOCK_OFFSET + 6] = 8;  // code 16: "Slowest"
    SetupRecord values = DEFAULT_SETUP;
    values.Channel[CHANNEL_A].ResponseIndex = 5;
    UnpackSetupBlock(info, values);
    MatchResponseRows(values);
    EXPECT_EQ(values.Channel[CHANNEL_A].ResponseValue, 66);
    EXPECT_EQ(values.Channel[CHANNEL_A].ResponseIndex, 5);
    EXPECT_EQ(values.Channel[CHANNEL_B].ResponseValue, 16);
    EXPECT_EQ(values.Channel[CHANNEL_B].ResponseIndex, 0);
}

TEST(FieldText, ReadsTheLeadingNumberRoundedWithTheOffsetOf055AndChecksItsRange) {
    const struct {
        std::string text;
        FieldKind kind;
        int32_t read;    // ReadFieldText
        int corrected;   // CheckFieldText's result
        int32_t checked; // and the value it leaves
    } rows[] = {
        {"2.446", FIELD_VOLTS, 25, 0, 25},
        {"2.444", FIELD_VOLTS, 24, 0, 24},
        {"14.7", FIELD_AFR, 1470, 0, 1470},
        {"210", FIELD_AFR, 21000, 0, 21000},
        {"7", FIELD_VOLTS, 70, 1, 50},
        {"250", FIELD_AFR, 25000, 1, 21000},
        {"-3", FIELD_AFR, -299, 1, 0},
        {"", FIELD_AFR, 0, 1, 0},
        {"abc", FIELD_AFR, 0, 0, 0},
        {".", FIELD_VOLTS, 0, 0, 0},
        {"  3.5V", FIELD_VOLTS, 35, 0, 35},
        {"+1.5", FIELD_VOLTS, 15, 0, 15},
        {".5", FIELD_VOLTS, 5, 0, 5},
        {"4.", FIELD_VOLTS, 40, 0, 40},
        {"1.2.3", FIELD_VOLTS, 12, 0, 12},
        {"1e1", FIELD_VOLTS, 100, 1, 50},
        {"2e", FIELD_VOLTS, 20, 0, 20},   // an exponent needs digits
        {"-1.5", FIELD_VOLTS, -14, 1, 0}, // truncation toward zero
        {"1e400", FIELD_AFR, INT32_MAX, 1, 21000},
        {"1e-400", FIELD_AFR, 0, 0, 0},
        {std::string(30, '0') + "12", FIELD_VOLTS, 10, 0, 10}, // 31 characters are read
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ReadFieldText(row.text, row.kind), row.read);
        int32_t value = -1;
        EXPECT_EQ(CheckFieldText(row.text, row.kind, value), row.corrected);
        EXPECT_EQ(value, row.checked);
    }
    double x = -1;
    EXPECT_EQ(ScanFieldNumber(" -2.5e+1 ", x), 8u);
    EXPECT_EQ(x, -25.0);
    EXPECT_EQ(ScanFieldNumber("x1", x), 0u);
    EXPECT_EQ(x, 0.0);
}

TEST(FieldText, StoredValuesShowWithTheFieldsDecimals) {
    char text[8];
    EXPECT_EQ(FormatFieldValue(25, FIELD_VOLTS, text, sizeof text), 3);
    EXPECT_STREQ(text, "2.5");
    FormatFieldValue(1470, FIELD_AFR, text, sizeof text);
    EXPECT_STREQ(text, "14.70");
    FormatFieldValue(0, FIELD_VOLTS, text, sizeof text);
    EXPECT_STREQ(text, "0.0");
    EXPECT_EQ(FormatFieldValue(21000, FIELD_AFR, text, 4), 3) << "cut to the buffer";
    EXPECT_STREQ(text, "210");
    // Shown and read again, every stored value comes back unchanged.
    for (int32_t n = 0; n <= 21000; ++n) {
        char shown[16];
        FormatFieldValue(n, FIELD_AFR, shown, sizeof shown);
        ASSERT_EQ(ReadFieldText(shown, FIELD_AFR), n);
        if (n <= 50) {
            FormatFieldValue(n, FIELD_VOLTS, shown, sizeof shown);
            ASSERT_EQ(ReadFieldText(shown, FIELD_VOLTS), n);
        }
    }
}

} // namespace
