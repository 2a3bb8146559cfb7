// The receive ring: one producer (the comm thread), one consumer at a time. The indices
// name the last byte stored and the last byte consumed; one slot always stays empty. Each
// index has exactly one writer: the comm thread moves the write index, the consumer the read
// index, a requested reset included.
#include "link/link.h"

#include "link/arrival.h"

#include <algorithm>
#include <chrono>

std::array<uint8_t, RX_RING_SIZE> RxRing;
std::atomic<int32_t> RxWriteIndex{0};
std::atomic<int32_t> RxReadIndex{0};
std::atomic<int32_t> RxOverflow{0};
std::atomic<int32_t> RxResetRequest{0};

namespace {
// Set by any thread, cleared by the waiter: ends its wait without a byte.
std::atomic<int32_t> ConsumerWake{0};

int32_t NextPosition(int32_t position) {
    return position == RX_RING_SIZE - 1 ? 0 : position + 1;
}
} // namespace

void ResetRing() {
    RxWriteIndex.store(0);
    RxReadIndex.store(0);
    RxOverflow.store(0);
    RxResetRequest.store(0);
}

void RxApplyReset() {
    if (RxResetRequest.load(std::memory_order_acquire) == 0)
        return;
    // Cleared first: a request made while this one is carried out stays for the next look.
    RxResetRequest.store(0, std::memory_order_relaxed);
    RxReadIndex.store(RxWriteIndex.load(std::memory_order_acquire), std::memory_order_release);
}

int RxAvailable() {
    RxApplyReset();
    int32_t write = RxWriteIndex.load(std::memory_order_acquire);
    int32_t read = RxReadIndex.load(std::memory_order_relaxed);
    return (write - read + RX_RING_SIZE) % RX_RING_SIZE;
}

int RxReadByte() {
    if (RxAvailable() == 0)
        return -1;
    int32_t position = NextPosition(RxReadIndex.load(std::memory_order_relaxed));
    int byte = RxRing[position];
    // The byte is read before the index moves, so the producer cannot overwrite it first.
    RxReadIndex.store(position, std::memory_order_release);
    return byte;
}

int RxPeekByte() {
    if (RxAvailable() == 0)
        return -1;
    return RxRing[NextPosition(RxReadIndex.load(std::memory_order_relaxed))];
}

int RxPeekByteAt(int offset) {
    if (offset < 0 || offset >= RxAvailable())
        return -1;
    return RxRing[(RxReadIndex.load(std::memory_order_relaxed) + 1 + offset) % RX_RING_SIZE];
}

void RequestRxReset() {
    RxResetRequest.store(1, std::memory_order_release);
}

void RxStoreByte(uint8_t byte) {
    int32_t write = RxWriteIndex.load(std::memory_order_relaxed);
    int32_t next = NextPosition(write);
    RxOverflow.store(0, std::memory_order_relaxed);
    if (next == RxReadIndex.load(std::memory_order_acquire)) {
        RxOverflow.store(1, std::memory_order_release);
        return;
    }
    RxRing[next] = byte;
    RxWriteIndex.store(next, std::memory_order_release);
}

namespace {
// Milliseconds until the deadline, rounded up; 0 once it has passed.
int MsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

// Consumers sleep instead of polling; the comm thread wakes them per received batch. Sleeps
// until ready() holds (looked at under the lock) or timeoutMs pass (never with
// RX_WAIT_FOREVER); whether it holds.
template <typename Ready> bool SleepUntil(Ready ready, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    LockArrival();
    bool result = ready();
    while (!result) {
        int left = timeoutMs == RX_WAIT_FOREVER ? RX_WAIT_FOREVER : MsUntil(deadline);
        if (left == 0)
            break;
        SleepArrival(left);
        result = ready();
    }
    UnlockArrival();
    return result;
}
} // namespace

void RxSignalArrival() {
    LockArrival();
    UnlockArrival();
    NotifyArrival();
}

bool WaitForRxData(int count, int timeoutMs) {
    if (RxAvailable() >= count)
        return true;
    return SleepUntil([count] { return RxAvailable() >= count; }, timeoutMs);
}

bool WaitForRxArrival(int32_t seenWriteIndex, int unreadWanted, int timeoutMs) {
    auto arrived = [seenWriteIndex, unreadWanted] {
        int32_t write = RxWriteIndex.load(std::memory_order_acquire);
        int32_t read = RxReadIndex.load(std::memory_order_acquire);
        return write != seenWriteIndex &&
               (write - read + RX_RING_SIZE) % RX_RING_SIZE >= unreadWanted;
    };
    SleepUntil(
        [&arrived] { return arrived() || ConsumerWake.load(std::memory_order_acquire) != 0; },
        timeoutMs);
    ConsumerWake.store(0, std::memory_order_relaxed);
    return arrived();
}

void RxWakeConsumer() {
    LockArrival();
    ConsumerWake.store(1, std::memory_order_release);
    UnlockArrival();
    NotifyArrival();
}
