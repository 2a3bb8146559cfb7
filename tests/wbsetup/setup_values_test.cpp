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

TEST(SetupBlock, DefaultBlockUnpacksToTheDefaults) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    Bytes block = DefaultBlock();
    std::copy(block.begin(), block.end(), info.begin() + SETUP_BLOCK_OFFSET);
    SetupRecord values = {1, 2, 3, {{{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}}}};
    UnpackSetupBlock(info, values);
    MatchResponseRows(values);
    EXPECT_TRUE(SameValues(values, DEFAULT_SETUP));
}

TEST(ResponseRows, CodesMatchTheirRowsAndUnlistedCodesKeepTheRow) {
    for (int row = 0; row < RESPONSE_CHOICE_COUNT; ++row)
        EXPECT_EQ(FindResponseChoice(ResponseChoices[static_cast<size_t>(row)].value), row);
    EXPECT_EQ(ResponseChoices[0].name, "Slowest");
    EXPECT_EQ(ResponseChoices[6].name, "Fastest");

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

TEST(FieldText, RoundsWithTheOffsetOf055) {
    EXPECT_EQ(ReadFieldText("2.446", FIELD_VOLTS), 25);
    EXPECT_EQ(ReadFieldText("2.444", FIELD_VOLTS), 24);
    EXPECT_EQ(ReadFieldText("14.7", FIELD_AFR), 1470);
    EXPECT_EQ(ReadFieldText("14.70", FIELD_AFR), 1470);
    EXPECT_EQ(ReadFieldText("5.0", FIELD_VOLTS), 50);
    EXPECT_EQ(ReadFieldText("210", FIELD_AFR), 21000);
}

TEST(FieldText, ReadsTheLeadingNumberAndZeroForNone) {
    EXPECT_EQ(ReadFieldText("", FIELD_AFR), 0);
    EXPECT_EQ(ReadFieldText("abc", FIELD_AFR), 0);
    EXPECT_EQ(ReadFieldText(".", FIELD_VOLTS), 0);
    EXPECT_EQ(ReadFieldText("  3.5V", FIELD_VOLTS), 35);
    EXPECT_EQ(ReadFieldText("+1.5", FIELD_VOLTS), 15);
    EXPECT_EQ(ReadFieldText(".5", FIELD_VOLTS), 5);
    EXPECT_EQ(ReadFieldText("4.", FIELD_VOLTS), 40);
    EXPECT_EQ(ReadFieldText("1.2.3", FIELD_VOLTS), 12);
    EXPECT_EQ(ReadFieldText("1e1", FIELD_VOLTS), 100);
    EXPECT_EQ(ReadFieldText("2e", FIELD_VOLTS), 20) << "an exponent needs digits";
    EXPECT_EQ(ReadFieldText("-1.5", FIELD_VOLTS), -14) << "truncation toward zero";
    EXPECT_EQ(ReadFieldText("1e400", FIELD_AFR), INT32_MAX);
    EXPECT_EQ(ReadFieldText("1e-400", FIELD_AFR), 0);
    // Only the first 31 characters of a field are read.
    EXPECT_EQ(ReadFieldText(std::string(30, '0') + "12", FIELD_VOLTS), 10);

    double x = -1;
    EXPECT_EQ(ScanFieldNumber(" -2.5e+1 ", x), 8u);
    EXPECT_EQ(x, -25.0);
    EXPECT_EQ(ScanFieldNumber("x1", x), 0u);
    EXPECT_EQ(x, 0.0);
}

TEST(FieldText, CheckCorrectsOutOfRangeAndEmptyValues) {
    int32_t value = -1;
    EXPECT_EQ(CheckFieldText("7", FIELD_VOLTS, value), 1);
    EXPECT_EQ(value, 50);
    EXPECT_EQ(CheckFieldText("", FIELD_AFR, value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(CheckFieldText("-3", FIELD_AFR, value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(CheckFieldText("250", FIELD_AFR, value), 1);
    EXPECT_EQ(value, 21000);
    EXPECT_EQ(CheckFieldText("14.7", FIELD_AFR, value), 0);
    EXPECT_EQ(value, 1470);
    EXPECT_EQ(CheckFieldText("abc", FIELD_AFR, value), 0) << "reads as 0, in range";
    EXPECT_EQ(value, 0);
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
