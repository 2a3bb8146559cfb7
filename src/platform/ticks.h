// The process time base: TickCount advances by one every 100 ms, and every protocol
// time-out is counted in these ticks.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> TickCount;

// Starts the 100 ms ticker thread after setting TickCount to 0 (front ends without a
// multimedia timer); StopTickTimer ends it, for tests.
void StartTickTimer();
void StopTickTimer();

void SleepMs(int milliseconds);
