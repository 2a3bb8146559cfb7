// The simulated unit's memories; ResetUnit gives them their start values.
#include "sim/sim_memory.h"

std::array<uint8_t, DATA_BLOCK_SIZE> DataBlock;
std::array<uint8_t, PROGRAM_SIZE> ProgramMemory;
std::array<uint8_t, SETUP_TABLE_SIZE> SetupTable1;
std::array<uint8_t, SETUP_TABLE_SIZE> SetupTable2;
bool InLoader = false;
uint8_t LoadMode = 0;
bool TablesWrittenInSession = false;
