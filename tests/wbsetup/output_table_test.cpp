// The output tables: the narrowband characteristic, the linear and narrowband builds and the
// unit's 4-byte entries.
#include "display/lambda_table.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> Codes(const OutputTable& table) {
    std::vector<int32_t> codes;
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        codes.push_back(ReadOutputCode(table, entry));
    return codes;
}

std::vector<int32_t> Linear(double stoich, double volts2, double afr2, double volts1, double afr1) {
    OutputTable table{};
    EXPECT_EQ(BuildOutputTable(table, 0, 128, stoich, volts2, afr2, volts1, afr1), 0);
    return Codes(table);
}

std::vector<int32_t> Narrowband(int offset) {
    OutputTable table{};
    // The linear values must not matter in narrowband mode.
    EXPECT_EQ(BuildOutputTable(table, 1, offset, 0.0, 9.0, -1.0, 9.0, -1.0), 0);
    return Codes(table);
}

int32_t N(int entry) {
    return NarrowbandTable[static_cast<size_t>(entry)];
}

int EntryOfCode(const std::vector<int32_t>& codes, int32_t code) {
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == code)
            return static_cast<int>(i);
    return -1;
}

TEST(NarrowbandTable, KeepsTheTellingRowsAndNeverRises) {
    const std::vector<std::pair<int, int32_t>> rows = {
        {0, 762},   {100, 755}, {200, 732}, {300, 666}, {320, 633}, {325, 594},
        {328, 526}, {329, 492}, {330, 453}, {331, 410}, {332, 363}, {333, 315},
        {334, 269}, {335, 226}, {340, 105}, {350, 77},  {400, 25},  {511, 21}};
    for (const auto& [entry, code] : rows)
        EXPECT_EQ(N(entry), code) << "entry " << entry;
    for (int entry = 1; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_LE(N(entry), N(entry - 1)) << "entry " << entry;
    // Point 506, the nearest to lambda 1.0, is entry 331: the 0.5 V switch.
    EXPECT_EQ(FindLambdaPoint(1.0) - FIRST_TABLE_POINT, 331);
}

TEST(OutputEntry, CarriesTwelveBitsBetweenTheMarks) {
    OutputTable table{};
    StoreOutputCode(table, 331, 1920);
    StoreOutputCode(table, 511, 4095);
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 4 * 331, table.begin() + 4 * 332),
              (std::vector<uint8_t>{0x34, 0x07, 0x34, 0x80}));
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 4 * 511, table.end()),
              (std::vector<uint8_t>{0x34, 0x0F, 0x34, 0xFF}));
    StoreOutputCode(table, 1, -5);
    EXPECT_EQ(ReadOutputCode(table, 1), 0);

    // A unit's volts byte of 255 reads as 25.5 V: 25.5 x 819 + 0.5 gives code 20885, whose
    // low 12 bits (405, about 0.49 V) must not stand in for full scale.
    BuildOutputTable(table, 0, 128, 14.7, 25.5, 20.0, 0.0, 10.0);
    EXPECT_EQ(ReadOutputCode(table, 511), 4095);
    EXPECT_EQ(ReadOutputCode(table, 0), 0);
}

TEST(LinearTable, DefaultChannelAIsFlatThenLineThenFlat) {
    EXPECT_EQ(FindLambdaPoint(10.00 / 14.70), 190);
    EXPECT_EQ(FindLambdaPoint(20.00 / 14.70), 606);
    OutputTable table{};
    BuildOutputTable(table, 0, 128, 14.70, 5.0, 20.00, 0.0, 10.00);
    std::vector<int32_t> codes = Codes(table);
    for (int entry = 0; entry <= 14; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], 0) << "entry " << entry;
    EXPECT_EQ(codes[331], 1920);
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 4 * 331, table.begin() + 4 * 332),
              (std::vector<uint8_t>{0x34, 0x07, 0x34, 0x80}));
    for (int entry = 431; entry <= 511; ++entry) {
        EXPECT_EQ(codes[static_cast<size_t>(entry)], 4095) << "entry " << entry;
        EXPECT_EQ(table[static_cast<size_t>(4 * entry + 1)], 0x0F);
        EXPECT_EQ(table[static_cast<size_t>(4 * entry + 3)], 0xFF);
    }
    EXPECT_LT(codes[430], 4095) << "the line ends at point 606, entry 431";
    for (int entry = 1; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_GE(codes[static_cast<size_t>(entry)], codes[static_cast<size_t>(entry - 1)]);
}

TEST(LinearTable, PointsGivenInEitherOrderMakeTheSameLine) {
    EXPECT_EQ(Linear(14.70, 5.0, 20.00, 0.0, 10.00), Linear(14.70, 0.0, 10.00, 5.0, 20.00));
}

TEST(LinearTable, EqualAfrsStepAtThatAfrWithoutInterpolating) {
    // 1.0 V and 4.0 V both at AFR 14.70: point 506, entry 331.
    std::vector<int32_t> codes = Linear(14.70, 4.0, 14.70, 1.0, 14.70);
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], entry < 331 ? 819 : 3276) << "entry " << entry;
}

TEST(LinearTable, FallingLineFallsWithLambda) {
    // First point leaner with more volts.
    std::vector<int32_t> codes = Linear(14.70, 0.5, 12.00, 4.5, 16.00);
    EXPECT_EQ(codes.front(), static_cast<int32_t>(0.5 * 819 + 0.5));
    EXPECT_EQ(codes.back(), static_cast<int32_t>(4.5 * 819 + 0.5));
    std::vector<int32_t> falling = Linear(14.70, 0.5, 16.00, 4.5, 12.00);
    EXPECT_EQ(falling.front(), static_cast<int32_t>(4.5 * 819 + 0.5));
    EXPECT_EQ(falling.back(), static_cast<int32_t>(0.5 * 819 + 0.5));
    for (int entry = 1; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_LE(falling[static_cast<size_t>(entry)], falling[static_cast<size_t>(entry - 1)]);
    EXPECT_GT(falling[200], falling[400]);
}

TEST(LinearTable, LowAfrBelowTheTableInterpolatesFromEntryZero) {
    // 8.00 / 14.70 is lambda 0.544, below the table's 0.67: no flat start.
    std::vector<int32_t> codes = Linear(14.70, 5.0, 20.00, 0.0, 8.00);
    EXPECT_EQ(FindLambdaPoint(8.00 / 14.70), -1);
    EXPECT_GT(codes[0], 0);
    EXPECT_GT(codes[1], codes[0]);
}

TEST(LinearTable, HighAfrBeyondTheTableInterpolatesToEntry510) {
    std::vector<int32_t> codes = Linear(14.70, 5.0, 40.00, 0.0, 10.00);
    EXPECT_LT(codes[510], 4095);
    EXPECT_EQ(codes[511], 4095);
}

TEST(LinearTable, SteepLineNeverWrapsPastItsEnds) {
    // The nearest point to AFR 14.70 lies just rich of it; the line extended there would go
    // below 0 V, and a negative code would wrap to the top of the 12 bits.
    for (double volts : {0.0, 2.5}) {
        std::vector<int32_t> codes = Linear(14.70, 5.0, 14.72, volts, 14.70);
        int32_t low = static_cast<int32_t>(volts * 819 + 0.5);
        for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry) {
            EXPECT_GE(codes[static_cast<size_t>(entry)], low) << "entry " << entry;
            EXPECT_LE(codes[static_cast<size_t>(entry)], 4095) << "entry " << entry;
            if (entry > 0) {
                EXPECT_GE(codes[static_cast<size_t>(entry)], codes[static_cast<size_t>(entry - 1)]);
            }
        }
    }
}

TEST(LinearTable, ZeroStoichDoesNotLeaveTheTable) {
    std::vector<int32_t> codes = Linear(0.0, 5.0, 20.00, 0.0, 10.00);
    for (int32_t code : codes)
        EXPECT_EQ(code, 4095);
}

TEST(NarrowbandMode, CentreOffsetIsTheCharacteristicUnchanged) {
    std::vector<int32_t> codes = Narrowband(128);
    EXPECT_EQ(codes, std::vector<int32_t>(NarrowbandTable.begin(), NarrowbandTable.end()));
}

TEST(NarrowbandMode, Offset201MovesTheSwitchLeanBy28) {
    EXPECT_EQ(FindLambdaPoint(1.073), 534);
    std::vector<int32_t> codes = Narrowband(201);
    EXPECT_EQ(EntryOfCode(codes, 410), 359);
    for (int entry = 0; entry <= 27; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], N(0));
    for (int entry = 28; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], N(entry - 28));
    EXPECT_EQ(codes[511], N(483));
}

TEST(NarrowbandMode, Offset55MovesTheSwitchRichBy47) {
    EXPECT_EQ(FindLambdaPoint(0.927), 459);
    std::vector<int32_t> codes = Narrowband(55);
    EXPECT_EQ(codes[0], N(47));
    EXPECT_EQ(EntryOfCode(codes, 410), 284);
    for (int entry = 0; entry <= 464; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], N(entry + 47));
    for (int entry = 465; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        EXPECT_EQ(codes[static_cast<size_t>(entry)], 21);
}

TEST(NarrowbandMode, EveryByteOffsetStaysInsideTheTable) {
    for (int offset : {0, 1, 127, 129, 254, 255, 100000, -100000}) {
        std::vector<int32_t> codes = Narrowband(offset);
        for (int entry = 1; entry < OUTPUT_TABLE_ENTRIES; ++entry)
            EXPECT_LE(codes[static_cast<size_t>(entry)], codes[static_cast<size_t>(entry - 1)])
                << "offset " << offset;
    }
}

TEST(SetupTables, ChannelBFollowsItsModeBit) {
    SetupRecord values = DEFAULT_SETUP;
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(values, table1, table2);
    // The stoichiometric AFR goes in as StoichAfr x 0.01, as Set computes it.
    EXPECT_EQ(Codes(table1), Linear(1470 * 0.01, 5.0, 20.00, 0.0, 10.00));
    EXPECT_EQ(Codes(table2), Narrowband(128));

    values.SetupFlags = SETUP_FLAG_B_LINEAR | 0xF0;
    values.Channel[CHANNEL_B] = {10, 1100, 40, 1800, 128, 3};
    values.StoichAfr = 1460;
    BuildSetupTables(values, table1, table2);
    EXPECT_EQ(Codes(table1), Linear(1460 * 0.01, 5.0, 20.00, 0.0, 10.00));
    EXPECT_EQ(Codes(table2), Linear(1460 * 0.01, 4.0, 18.00, 1.0, 11.00));
}

} // namespace
