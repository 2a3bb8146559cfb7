// The consumers' sleep with the standard library's lock and condition.
#include "link/arrival.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
std::mutex ArrivalLock;
std::condition_variable Arrival;
} // namespace

void LockArrival() {
    ArrivalLock.lock();
}

void UnlockArrival() {
    ArrivalLock.unlock();
}

void SleepArrival(int timeoutMs) {
    std::unique_lock<std::mutex> hold(ArrivalLock, std::adopt_lock);
    if (timeoutMs < 0)
        Arrival.wait(hold);
    else
        Arrival.wait_for(hold, std::chrono::milliseconds(timeoutMs));
    hold.release(); // the caller unlocks
}

void NotifyArrival() {
    Arrival.notify_all();
}
