// The simulated unit: its memories, its application side (stream mode, live frames, data
// block) and its loader (program memory by word address, data records, restart).
#pragma once

#include "sim/sim_memory.h"

#include <cstdint>

extern bool Streaming; // live frames on (stream mode 8)

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
