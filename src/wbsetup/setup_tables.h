// The two output tables that the unit's analogue outputs follow (channel A, channel B):
// 512 entries of 4 bytes each, built by the Wide Band Setup and sent by the setup write.
#pragma once

#include <array>
#include <cstdint>

constexpr int OUTPUT_TABLE_SIZE = 2048;
constexpr int OUTPUT_TABLE_BLOCKS = OUTPUT_TABLE_SIZE / 16;

using OutputTable = std::array<uint8_t, OUTPUT_TABLE_SIZE>;

extern OutputTable SetupTable1;
extern OutputTable SetupTable2;
