// The output tables that the unit's analogue outputs follow: 512 codes of the output
// converter (819 counts per volt, 4095 is 5.0 V) on points 175 to 686 of LambdaPointTable,
// either a straight line between two (AFR, volts) points or the narrowband characteristic.
#pragma once

#include "wbsetup/setup_tables.h"
#include "wbsetup/setup_values.h"

#include <array>
#include <cstdint>

constexpr int OUTPUT_TABLE_ENTRIES = 512;
constexpr int FIRST_TABLE_POINT = 175; // entry j stands for point 175 + j
constexpr int LAST_TABLE_POINT = FIRST_TABLE_POINT + OUTPUT_TABLE_ENTRIES - 1;
constexpr double CODES_PER_VOLT = 819.0;

// A narrowband sensor's output on the same grid, in output codes: never rising, from 762
// (0.930 V) rich to 21 (0.026 V) lean, 410 (0.50 V) at entry 331 (lambda 1.0).
extern const std::array<int32_t, OUTPUT_TABLE_ENTRIES> NarrowbandTable;

// How an output follows lambda: a straight line between two points, or a narrowband sensor's
// characteristic.
enum OutputMode : int { OUTPUT_LINEAR = 0, OUTPUT_NARROWBAND = 1 };

// Fills destination and returns 0. OUTPUT_LINEAR: the line through the two points (first
// then second, as a channel holds them), lower AFR first, held flat outside them; volts and
// AFRs unscaled. OUTPUT_NARROWBAND: NarrowbandTable moved by nbOffset, and the other values do
// not matter.
int BuildOutputTable(OutputTable& destination, OutputMode mode, int nbOffset, double stoich,
                     double volts1, double afr1, double volts2, double afr2);

// Both tables from a set of values, as the setup write sends them: channel A always linear,
// channel B narrowband unless its linear bit is set.
void BuildSetupTables(const SetupRecord& values, OutputTable& table1, OutputTable& table2);

// One entry: 0x34, bits 8 to 11 of the code, 0x34, bits 0 to 7.
void StoreOutputCode(OutputTable& table, int entry, int32_t code);
int32_t ReadOutputCode(const OutputTable& table, int entry);
