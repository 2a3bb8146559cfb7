// The simulated unit: its memories, its application side (stream mode, live frames, data
// block) and its loader (program memory by word address, data records, restart).
#pragma once

#include "sim/sim_cipher.h"

#include <array>
#include <cstdint>
#include <random>

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
extern bool Streaming;

// Drives the fault options (corrupt sums, line noise); seeded from --seed.
extern std::mt19937 FaultRandom;

// Start values from Options: default data block, erased program memory, application
// running (or the loader with --start-in-loader, applied by the caller after any state).
void ResetUnit(int64_t nowNs);

// Feeds one received byte to the request framing; whole frames with a good sum are
// answered through QueueOutput.
void ReceiveRequestByte(uint8_t byte);
// Forgets a partly received request (the port was closed under it).
void ResetRequestFraming();

// Queues a live frame when one is due; returns when the next one is due (INT64_MAX when
// the unit is not streaming).
int64_t RunLiveStream(int64_t nowNs);

// Live-frame lambda encoding, the inverse of the display's decoding of the raw field.
uint32_t LambdaToRaw(double lambda);
double ProfileLambda(double seconds);
