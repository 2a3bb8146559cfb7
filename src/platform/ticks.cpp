// The 100 ms ticker for front ends that have no multimedia timer.
#include "platform/ticks.h"

#include <chrono>
#include <thread>

std::atomic<int32_t> TickCount{0};

namespace {
std::thread Ticker;
std::atomic<bool> TickerStop{false};

void TickerBody() {
    // Ticks follow the clock, not the sum of sleeps, so a late wake-up does not stretch time-outs.
    auto next = std::chrono::steady_clock::now();
    while (!TickerStop.load(std::memory_order_acquire)) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        // The ticker is the only writer: a plain increment, no read-modify-write.
        TickCount.store(TickCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
}
} // namespace

void StartTickTimer() {
    if (Ticker.joinable())
        return;
    TickCount.store(0, std::memory_order_release);
    TickerStop.store(false, std::memory_order_release);
    Ticker = std::thread(TickerBody);
}

void StopTickTimer() {
    if (!Ticker.joinable())
        return;
    TickerStop.store(true, std::memory_order_release);
    Ticker.join();
}

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
