// The output tables: the narrowband characteristic, the linear and narrowband builds and the
// unit's 4-byte entries.
#include "display/lambda_table.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

Codes Build(int narrowband, int offset, double stoich, double v2, double a2, double v1, double a1) {
    OutputTable table{};
    EXPECT_EQ(BuildOutputTable(table, narrowband, offset, stoich, v2, a2, v1, a1), 0);
    return Decode(table);
}

TEST(OutputTable, NarrowbandCharacteristicKeepsItsTellingRowsAndIsMovedByTheOffset) {
    const Codes n(NarrowbandTable.begin(), NarrowbandTable.end());
    const std::vector<std::pair<size_t, int32_t>> telling = {
        {0, 762},   {100, 755}, {200, 732}, {300, 666}, {320, 633}, {325, 594},
        {328, 526}, {329, 492}, {330, 453}, {331, 410}, {332, 363}, {333, 315},
        {334, 269}, {335, 226}, {340, 105}, {350, 77},  {400, 25},  {511, 21}};
    for (const auto& [entry, code] : telling)
        EXPECT_EQ(n[entry], code) << "entry " << entry;
    EXPECT_TRUE(std::is_sorted(n.rbegin(), n.rend())) << "it never rises";
    // Offset 128 leaves it, 201 moves it lean by 28 entries (the 0.5 V code 410 to entry 359),
    // 55 rich by 47 (410 to entry 284).
    for (auto [offset, k] : {std::pair{128, 0}, {201, 28}, {55, 47}}) {
        SCOPED_TRACE(offset);
        Codes codes = Build(1, offset, 0.0, 9.0, -1.0, 9.0, -1.0); // the linear values unused
        for (int j = 0; j < 512; ++j)
            EXPECT_EQ(codes[size_t(j)], offset > 128 ? n[size_t(std::max(0, j - k))]
                                                     : n[size_t(std::min(511, j + k))])
                << j;
    }
}

TEST(OutputTable, LinearLinesAreFlatThenInterpolatedThenFlat) {
    const struct {
        const char* what;
        double stoich, v2, a2, v1, a1;
        bool falling;      // the codes never rise, or else never fall
        const char* codes; // "from to = code" or "from to ! code" (not that code), repeated
    } rows[] = {
        // Points 190 and 606 (entries 15 and 431); entry 331 is 1920, stored 34 07 34 80.
        {"defaults", 14.70, 5.0, 20.00, 0.0, 10.00, false,
         "0 14 = 0 331 331 = 1920 430 430 ! 4095 431 511 = 4095"},
        {"points swapped", 14.70, 0.0, 10.00, 5.0, 20.00, false,
         "0 14 = 0 331 331 = 1920 430 430 ! 4095 431 511 = 4095"},
        {"equal AFRs step at point 506", 14.70, 4.0, 14.70, 1.0, 14.70, false,
         "0 330 = 819 331 511 = 3276"},
        {"falling", 14.70, 0.5, 16.00, 4.5, 12.00, true, "0 0 = 3686 511 511 = 410"},
        {"low AFR below lambda 0.67: no flat start", 14.70, 5.0, 20.00, 0.0, 8.00, false,
         "0 0 ! 0"},
        {"high AFR beyond the table", 14.70, 5.0, 40.00, 0.0, 10.00, false,
         "510 510 ! 4095 511 511 = 4095"},
        // 25.5 V is code 20885, whose low 12 bits would read 0.49 V.
        {"a unit's 25.5 V", 14.70, 25.5, 20.00, 0.0, 10.00, false, "0 0 = 0 511 511 = 4095"},
        // Extended to the point just rich of 14.70 the line would go below its low volts.
        {"steep from 0 V", 14.70, 5.0, 14.72, 0.0, 14.70, false, "0 0 = 0 511 511 = 4095"},
        {"zero stoichiometric AFR", 0.0, 5.0, 20.00, 0.0, 10.00, false, "0 511 = 4095"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Codes codes = Build(0, 128, row.stoich, row.v2, row.a2, row.v1, row.a1);
        EXPECT_TRUE(row.falling ? std::is_sorted(codes.rbegin(), codes.rend())
                                : std::is_sorted(codes.begin(), codes.end()));
        std::istringstream checks(row.codes);
        int from, to, code;
        char op;
        while (checks >> from >> to >> op >> code)
            for (int j = from; j <= to; ++j)
                EXPECT_EQ(codes[size_t(j)] == code, op == '=') << j << ": " << codes[size_t(j)];
    }
}

TEST(OutputTable, ChannelBFollowsItsModeBit) {
    SetupRecord values = DEFAULT_SETUP;
    OutputTable table1{}, table2{};
    BuildSetupTables(values, table1, table2);
    // The stoichiometric AFR goes in as StoichAfr x 0.01.
    EXPECT_EQ(Decode(table1), Build(0, 128, 1470 * 0.01, 5.0, 20.00, 0.0, 10.00));
    EXPECT_EQ(Decode(table2), Build(1, 128, 0, 0, 0, 0, 0));
    values.SetupFlags = SETUP_FLAG_B_LINEAR | 0xF0;
    values.Channel[CHANNEL_B] = {10, 1100, 40, 1800, 128, 3};
    values.StoichAfr = 1460;
    BuildSetupTables(values, table1, table2);
    EXPECT_EQ(Decode(table2), Build(0, 128, 1460 * 0.01, 4.0, 18.00, 1.0, 11.00));
}

} // namespace
