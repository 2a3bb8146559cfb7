// Output-table computation. The codes are worked out in a 512-entry integer array and then
// stored as the unit's 4-byte entries; nothing is allocated.
#include "wbsetup/output_table.h"

#include "wbsetup/lambda_table.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr uint8_t ENTRY_MARK = 0x34;
constexpr int ENTRY_SIZE = 4;
constexpr int32_t CODE_MASK = 0x0FFF;
constexpr double CODE_ROUNDING = 0.5;

using CodeArray = std::array<int32_t, OUTPUT_TABLE_ENTRIES>;

// ---- The narrowband characteristic ------------------------------------------------------

struct NarrowbandRow {
    int entry;
    double code;
};

// The points the characteristic is known at: flat and rich up to entry 300, the switch
// around lambda 1 (entry 331 is 0.50 V), then a slow lean tail.
constexpr std::array<NarrowbandRow, 18> NarrowbandRows = {{
    {0, 762},
    {100, 755},
    {200, 732},
    {300, 666},
    {320, 633},
    {325, 594},
    {328, 526},
    {329, 492},
    {330, 453},
    {331, 410},
    {332, 363},
    {333, 315},
    {334, 269},
    {335, 226},
    {340, 105},
    {350, 77},
    {400, 25},
    {511, 21},
}};
constexpr size_t NB_ROWS = NarrowbandRows.size();

constexpr double AbsoluteOf(double x) {
    return x < 0 ? -x : x;
}

// Slopes at the rows for a shape-preserving cubic (Fritsch-Butland): a weighted harmonic
// mean of the neighbouring secants inside, a bounded one-sided estimate at the ends. With
// these the curve between two rows stays between them, so it never rises.
constexpr std::array<double, NB_ROWS> NarrowbandSlopes() {
    std::array<double, NB_ROWS - 1> width{};
    std::array<double, NB_ROWS - 1> secant{};
    for (size_t k = 0; k + 1 < NB_ROWS; ++k) {
        width[k] = NarrowbandRows[k + 1].entry - NarrowbandRows[k].entry;
        secant[k] = (NarrowbandRows[k + 1].code - NarrowbandRows[k].code) / width[k];
    }
    std::array<double, NB_ROWS> slope{};
    for (size_t k = 1; k + 1 < NB_ROWS; ++k) {
        if (secant[k - 1] * secant[k] <= 0)
            continue;
        double before = 2 * width[k] + width[k - 1];
        double after = width[k] + 2 * width[k - 1];
        slope[k] = (before + after) / (before / secant[k - 1] + after / secant[k]);
    }
    auto endSlope = [](double w0, double w1, double s0, double s1) {
        double m = ((2 * w0 + w1) * s0 - w0 * s1) / (w0 + w1);
        if (m * s0 <= 0)
            return 0.0;
        if (s0 * s1 <= 0 && AbsoluteOf(m) > 3 * AbsoluteOf(s0))
            return 3 * s0;
        return m;
    };
    slope[0] = endSlope(width[0], width[1], secant[0], secant[1]);
    size_t last = NB_ROWS - 2;
    slope[NB_ROWS - 1] = endSlope(width[last], width[last - 1], secant[last], secant[last - 1]);
    return slope;
}

constexpr std::array<int32_t, OUTPUT_TABLE_ENTRIES> BuildNarrowbandTable() {
    std::array<double, NB_ROWS> slope = NarrowbandSlopes();
    std::array<int32_t, OUTPUT_TABLE_ENTRIES> table{};
    for (size_t k = 0; k + 1 < NB_ROWS; ++k) {
        const NarrowbandRow& from = NarrowbandRows[k];
        const NarrowbandRow& to = NarrowbandRows[k + 1];
        double width = to.entry - from.entry;
        for (int entry = from.entry; entry <= to.entry; ++entry) {
            double t = (entry - from.entry) / width;
            double t2 = t * t;
            double t3 = t2 * t;
            double code = (2 * t3 - 3 * t2 + 1) * from.code + (t3 - 2 * t2 + t) * width * slope[k] +
                          (-2 * t3 + 3 * t2) * to.code + (t3 - t2) * width * slope[k + 1];
            table[static_cast<size_t>(entry)] = static_cast<int32_t>(code + 0.5);
        }
    }
    return table;
}

// ---- Linear mode ------------------------------------------------------------------------

int32_t VoltsToCode(double volts) {
    return static_cast<int32_t>(volts * CODES_PER_VOLT + CODE_ROUNDING);
}

void FillLinear(CodeArray& codes, double stoich, double volts1, double afr1, double volts2,
                double afr2) {
    double inverse = 1.0 / stoich;
    bool secondIsLower = afr2 < afr1;
    double lowLambda = (secondIsLower ? afr2 : afr1) * inverse;
    double highLambda = (secondIsLower ? afr1 : afr2) * inverse;
    double lowVolts = secondIsLower ? volts2 : volts1;
    double highVolts = secondIsLower ? volts1 : volts2;

    int lowPoint = std::max(FindLambdaPoint(lowLambda), FIRST_TABLE_POINT);
    int highPoint = std::min(FindLambdaPoint(highLambda), LAST_TABLE_POINT); // -1 stays -1
    int lineStart = std::min(lowPoint - FIRST_TABLE_POINT, OUTPUT_TABLE_ENTRIES);
    int lineEnd = highPoint - FIRST_TABLE_POINT;

    int32_t lowCode = VoltsToCode(lowVolts);
    int32_t highCode = VoltsToCode(highVolts);
    for (int entry = 0; entry < lineStart; ++entry)
        codes[static_cast<size_t>(entry)] = lowCode;

    if (lineStart < lineEnd) {
        // The nearest point to the low AFR may lie just below it, where the line extended
        // would leave the two codes' range; a code below 0 would then wrap to 4095 in the
        // entry's 12 bits. The line is held to its ends instead.
        double slope = (highVolts - lowVolts) / (highLambda - lowLambda);
        double least = std::min(lowCode, highCode);
        double most = std::max(lowCode, highCode);
        for (int entry = lineStart; entry < lineEnd; ++entry) {
            double lambda = LambdaPointTable[static_cast<size_t>(FIRST_TABLE_POINT + entry)];
            double code =
                ((lambda - lowLambda) * slope + lowVolts) * CODES_PER_VOLT + CODE_ROUNDING;
            codes[static_cast<size_t>(entry)] = static_cast<int32_t>(std::clamp(code, least, most));
        }
    }

    for (int entry = std::max(lineStart, lineEnd); entry < OUTPUT_TABLE_ENTRIES; ++entry)
        codes[static_cast<size_t>(entry)] = highCode;
}

// ---- Narrowband mode --------------------------------------------------------------------

void FillNarrowband(CodeArray& codes, int nbOffset) {
    int centre = FindLambdaPoint(1.0);
    double target = NbSwitchLambda(nbOffset);
    // Offsets of a byte move the switch point by fewer than 100 entries; the bound only keeps
    // the copies inside the table for any other number.
    int shift = std::min(std::abs(centre - FindLambdaPoint(target)), OUTPUT_TABLE_ENTRIES - 1);
    const std::array<int32_t, OUTPUT_TABLE_ENTRIES>& narrow = NarrowbandTable;
    if (nbOffset > NB_OFFSET_CENTRE) {
        // Switch point moved lean: the rich plateau is stretched by shift entries.
        std::fill(codes.begin(), codes.begin() + shift, narrow.front());
        std::copy(narrow.begin(), narrow.end() - shift, codes.begin() + shift);
    } else {
        std::copy(narrow.begin() + shift, narrow.end(), codes.begin());
        std::fill(codes.end() - shift, codes.end(), narrow.back());
    }
}
} // namespace

constexpr std::array<int32_t, OUTPUT_TABLE_ENTRIES> NarrowbandTable = BuildNarrowbandTable();

void StoreOutputCode(OutputTable& table, int entry, int32_t code) {
    // A unit may report volts above 5.0 (a byte up to 25.5 V): its code would not fit the 12
    // bits, and the bits that did would give some other, lower voltage. Full scale it is.
    code = std::clamp(code, 0, CODE_MASK);
    uint8_t* at = table.data() + ENTRY_SIZE * entry;
    at[0] = ENTRY_MARK;
    at[1] = static_cast<uint8_t>((code >> 8) & 0x0F);
    at[2] = ENTRY_MARK;
    at[3] = static_cast<uint8_t>(code & 0xFF);
}

int32_t ReadOutputCode(const OutputTable& table, int entry) {
    const uint8_t* at = table.data() + ENTRY_SIZE * entry;
    return ((at[1] << 8) | at[3]) & CODE_MASK;
}

int BuildOutputTable(OutputTable& destination, OutputMode mode, int nbOffset, double stoich,
                     double volts1, double afr1, double volts2, double afr2) {
    CodeArray codes{};
    if (mode == OUTPUT_NARROWBAND)
        FillNarrowband(codes, nbOffset);
    else
        FillLinear(codes, stoich, volts1, afr1, volts2, afr2);
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry)
        StoreOutputCode(destination, entry, codes[static_cast<size_t>(entry)]);
    return 0;
}

void BuildSetupTables(const SetupRecord& values, OutputTable& table1, OutputTable& table2) {
    double stoich = StoichAfrOf(values);
    const ChannelSetup& a = values.Channel[CHANNEL_A];
    const ChannelSetup& b = values.Channel[CHANNEL_B];
    BuildOutputTable(table1, OUTPUT_LINEAR, NB_OFFSET_CENTRE, stoich, a.Volts1 / 10.0,
                     a.Afr1 / 100.0, a.Volts2 / 10.0, a.Afr2 / 100.0);
    OutputMode modeB =
        (values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0 ? OUTPUT_LINEAR : OUTPUT_NARROWBAND;
    BuildOutputTable(table2, modeB, values.NbOffset, stoich, b.Volts1 / 10.0, b.Afr1 / 100.0,
                     b.Volts2 / 10.0, b.Afr2 / 100.0);
}
