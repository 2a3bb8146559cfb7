// The output tables: the narrowband characteristic, the linear and narrowband builds and the
// unit's 4-byte entries.
#include "wbsetup/lambda_table.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

namespace {

using Codes = std::vector<int32_t>;

// The 512 codes of a table, each entry checked for its form: 34, high 4 bits, 34, low 8 bits.
Codes Decode(const OutputTable& t) {
    Codes codes;
    for (size_t j = 0; j < 2048; j += 4) {
        EXPECT_TRUE(t[j] == 0x34 && t[j + 2] == 0x34 && t[j + 1] < 16) << "entry " << j / 4;
        codes.push_back(t[j + 1] << 8 | t[j + 3]);
    }
    return codes;
}

Codes Build(OutputMode mode, int offset, double stoich, double v1, double a1, double v2,
            double a2) {
    OutputTable table{};
    EXPECT_EQ(BuildOutputTable(table, mode, offset, stoich, v1, a1, v2, a2), 0);
    return Decode(table);
}

// The rows the characteristic is known at, moved by the offset: 201 moves them lean by 28
// entries (the 0.5 V code 410 to entry 359) and holds 762 before them, 55 rich by 47 (410 to
// entry 284) and holds 21 after them. Between rows a cubic: at 150, midway from 100 to 200,
// (755 + 732) / 2 + 100 / 8 x (m100 - m200), its slopes the harmonic means of the secants
// either side (-0.07 and -0.23; -0.23 and -0.66): 743.5 + 12.5 x 0.23379 = 746.42, so 746.
TEST(OutputTable, NarrowbandCharacteristicKeepsItsTellingRowsAndIsMovedByTheOffset) {
    const std::pair<int, int32_t> telling[] = {
        {0, 762},   {100, 755}, {200, 732}, {300, 666}, {320, 633}, {325, 594}, {328, 526},
        {329, 492}, {330, 453}, {331, 410}, {332, 363}, {333, 315}, {334, 269}, {335, 226},
        {340, 105}, {350, 77},  {400, 25},  {511, 21},  {150, 746}};
    for (auto [offset, shift] : {std::pair{128, 0}, {201, 28}, {55, -47}}) {
        SCOPED_TRACE(offset);
        Codes codes =
            Build(OUTPUT_NARROWBAND, offset, 0.0, 9.0, -1.0, 9.0, -1.0); // the linear values unused
        EXPECT_TRUE(std::is_sorted(codes.rbegin(), codes.rend())) << "it never rises";
        for (auto [entry, code] : telling) {
            const int moved = entry + shift;
            EXPECT_TRUE(moved < 0 || moved > 511 || codes[size_t(moved)] == code) << moved;
        }
        EXPECT_EQ(codes[shift >= 0 ? 0 : 511], shift >= 0 ? 762 : 21) << "held at the end";
    }
}

TEST(OutputTable, LinearLinesAreFlatThenInterpolatedThenFlat) {
    // The case, stoich, v1, a1, v2, a2; whether the codes never rise (or else never fall); the
    // codes, "from to = code" or "from to ! code" (not that code), repeated.
    const std::tuple<const char*, double, double, double, double, double, bool, const char*>
        rows[] = {
            // Points 190 and 606 (entries 15 and 431); entry 331 is 1920, stored 34 07 34 80.
            {"defaults", 14.70, 0.0, 10.00, 5.0, 20.00, false,
             "0 14 = 0 331 331 = 1920 430 430 ! 4095 431 511 = 4095"},
            {"points swapped", 14.70, 5.0, 20.00, 0.0, 10.00, false,
             "0 14 = 0 331 331 = 1920 430 430 ! 4095 431 511 = 4095"},
            {"equal AFRs step at point 506", 14.70, 1.0, 14.70, 4.0, 14.70, false,
             "0 330 = 819 331 511 = 3276"},
            {"falling", 14.70, 4.5, 12.00, 0.5, 16.00, true, "0 0 = 3686 511 511 = 410"},
            {"low AFR below lambda 0.67: no flat start", 14.70, 0.0, 8.00, 5.0, 20.00, false,
             "0 0 ! 0"},
            {"high AFR beyond the table", 14.70, 0.0, 10.00, 5.0, 40.00, false,
             "510 510 ! 4095 511 511 = 4095"},
            // 25.5 V is code 20885, whose low 12 bits would read 0.49 V.
            {"a unit's 25.5 V", 14.70, 0.0, 10.00, 25.5, 20.00, false, "0 0 = 0 511 511 = 4095"},
            // Extended to the point just rich of 14.70 the line would go below its low volts.
            {"steep from 0 V", 14.70, 0.0, 14.70, 5.0, 14.72, false, "0 0 = 0 511 511 = 4095"},
            {"zero stoichiometric AFR", 0.0, 0.0, 10.00, 5.0, 20.00, false, "0 511 = 4095"},
        };
    for (auto [what, stoich, v1, a1, v2, a2, falling, expected] : rows) {
        SCOPED_TRACE(what);
        Codes codes = Build(OUTPUT_LINEAR, 128, stoich, v1, a1, v2, a2);
        EXPECT_TRUE(falling ? std::is_sorted(codes.rbegin(), codes.rend())
                            : std::is_sorted(codes.begin(), codes.end()));
        std::istringstream checks(expected);
        int from, to, code;
        char op;
        while (checks >> from >> to >> op >> code)
            for (int j = from; j <= to; ++j)
                EXPECT_EQ(codes[size_t(j)] == code, op == '=') << j << ": " << codes[size_t(j)];
    }
}

// Entries 0, 145, 331, 401 and 511 stand for points 175, 320, 506, 576 and 686.
TEST(OutputTable, ChannelBFollowsItsModeBit) {
    const size_t at[] = {0, 145, 331, 401, 511};
    auto codesAt = [&at](const OutputTable& table) {
        Codes all = Decode(table), some;
        for (size_t entry : at)
            some.push_back(all[entry]);
        return some;
    };
    SetupRecord values = DEFAULT_SETUP;
    OutputTable table1{}, table2{};
    BuildSetupTables(values, table1, table2);
    // 0 V at lambda 0.6803 (10.00 / 14.70), 5 V at 1.3605: 0.745 V at 0.7817, 3.998 V at 1.2243.
    EXPECT_EQ(codesAt(table1), (Codes{0, 610, 1920, 3275, 4095}));
    EXPECT_EQ(codesAt(table2)[2], 410) << "narrowband: 0.5 V at entry 331";
    values.SetupFlags = SETUP_FLAG_B_LINEAR | 0xF0;
    values.Channel[CHANNEL_B] = {10, 1100, 40, 1800, 128, 3};
    values.StoichAfr = 1460;
    BuildSetupTables(values, table1, table2);
    // 1 V at lambda 0.7534 (11.00 / 14.60), 4 V at 1.2329: 1.177 V at 0.7817, 2.538 V at 0.9993.
    EXPECT_EQ(codesAt(table2), (Codes{819, 964, 2079, 3232, 3276}));
}

} // namespace
