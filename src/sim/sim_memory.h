// The simulated unit's memories and loader state: what it keeps across a restart (and in the
// --state file), apart from the code that serves requests.
#pragma once

#include "sim/sim_cipher.h"

#include <array>
#include <cstdint>

constexpr int DATA_BLOCK_SIZE = 256;
// Program memory by loader word address: two bytes per address, 16 bytes per block.
constexpr int PROGRAM_WORDS = 0x2000;
constexpr int PROGRAM_SIZE = PROGRAM_WORDS * 2;
constexpr int TABLE1_WORD_ADDRESS = 0x1000;
constexpr int TABLE2_WORD_ADDRESS = 0x1400;
constexpr int UNIT_MODE_OFFSET = 255;

extern std::array<uint8_t, DATA_BLOCK_SIZE> DataBlock;
extern std::array<uint8_t, PROGRAM_SIZE> ProgramMemory;
// The output tables as the unit uses them: deciphered from program memory at the restart
// after a setup write.
extern std::array<uint8_t, SETUP_TABLE_SIZE> SetupTable1;
extern std::array<uint8_t, SETUP_TABLE_SIZE> SetupTable2;

extern bool InLoader;
extern uint8_t LoadMode;            // mode byte of the running load session
extern bool TablesWrittenInSession; // a WriteBlock hit the setup-table area this session
