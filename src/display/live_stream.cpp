// The live stream's listeners, start, passes and stop, and the CSV row.
#include "display/live_stream.h"

#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>

int32_t LastLiveRequestTick = 0;

namespace {
constexpr int TX_DRAIN_MS = 1000;
std::array<std::atomic<LiveListener>, LIVE_LISTENER_SLOTS> LiveListeners{};
std::array<std::atomic<LiveStaleListener>, LIVE_LISTENER_SLOTS> LiveStaleListeners{};
// TickCount and the port's opening at the last good frame, valid once LiveFrameSeen is 1 (they
// are written first); StaleAnnounced is the decoding thread's own.
std::atomic<int32_t> LiveFrameTick{0};
std::atomic<uint32_t> LiveFrameOpening{0};
std::atomic<int32_t> LiveFrameSeen{0};
bool StaleAnnounced = false;
// A failed data-block read waits for the next request before it is tried again: each read
// stops the stream, and on a noisy line most reads fail.
bool DataReadDeferred = false;
int32_t DataReadFailedTick = 0;

// No good frame seen yet.
void ResetLiveStale() {
    LiveFrameSeen.store(0, std::memory_order_release);
    StaleAnnounced = false;
}
} // namespace

int AddLiveListener(LiveListener listener) {
    // After the last one taken, so that the order of calls is the order of adding.
    int free = LIVE_LISTENER_SLOTS;
    while (free > 0 && LiveListeners[free - 1].load(std::memory_order_acquire) == nullptr)
        --free;
    if (free == LIVE_LISTENER_SLOTS)
        return -1;
    LiveListeners[free].store(listener, std::memory_order_release);
    return 0;
}

namespace {
template <typename Listener>
void RemoveFromSlots(std::array<std::atomic<Listener>, LIVE_LISTENER_SLOTS>& slots,
                     Listener listener) {
    for (std::atomic<Listener>& slot : slots)
        if (slot.load(std::memory_order_acquire) == listener)
            slot.store(nullptr, std::memory_order_release);
}
} // namespace

void RemoveLiveListener(LiveListener listener) {
    RemoveFromSlots(LiveListeners, listener);
}

void RemoveLiveStaleListener(LiveStaleListener listener) {
    RemoveFromSlots(LiveStaleListeners, listener);
}

void RemoveAllLiveListeners() {
    for (std::atomic<LiveListener>& slot : LiveListeners)
        slot.store(nullptr, std::memory_order_release);
    for (std::atomic<LiveStaleListener>& slot : LiveStaleListeners)
        slot.store(nullptr, std::memory_order_release);
}

void CallLiveListeners(const LiveSample& sample) {
    LiveFrameTick.store(TickCount.load(std::memory_order_acquire), std::memory_order_release);
    LiveFrameOpening.store(PortOpenings.load(std::memory_order_acquire), std::memory_order_release);
    LiveFrameSeen.store(1, std::memory_order_release);
    StaleAnnounced = false;
    for (std::atomic<LiveListener>& slot : LiveListeners)
        if (LiveListener listener = slot.load(std::memory_order_acquire); listener != nullptr)
            listener(sample);
}

int TakeLiveFrame() {
    // The smoothing carries nothing across a stop that this thread may not have looked at in
    // time (it was held in an exchange, or asleep): a frame after stale values, which includes
    // the first on another opening of the port, perhaps to another unit, starts it from its own
    // lambda.
    if (LiveValuesStale())
        RestartSmoothing();
    LiveSample sample;
    int result = DecodeLiveFrame(sample);
    if (result == LIVE_FRAME_OK)
        CallLiveListeners(sample);
    return result;
}

bool LiveValuesStale() {
    if (PortOpen.load(std::memory_order_acquire) == 0 ||
        LiveFrameSeen.load(std::memory_order_acquire) == 0 ||
        LiveFrameOpening.load(std::memory_order_acquire) !=
            PortOpenings.load(std::memory_order_acquire))
        return true;
    return TickCount.load(std::memory_order_acquire) -
               LiveFrameTick.load(std::memory_order_acquire) >
           LIVE_STALE_TICKS;
}

int AddLiveStaleListener(LiveStaleListener listener) {
    for (std::atomic<LiveStaleListener>& slot : LiveStaleListeners)
        if (slot.load(std::memory_order_acquire) == nullptr) {
            slot.store(listener, std::memory_order_release);
            return 0;
        }
    return -1;
}

void CheckLiveStale() {
    if (StaleAnnounced || !LiveValuesStale())
        return;
    StaleAnnounced = true;
    for (std::atomic<LiveStaleListener>& slot : LiveStaleListeners)
        if (LiveStaleListener listener = slot.load(std::memory_order_acquire); listener != nullptr)
            listener();
}

void StartLiveStream() {
    RestartSmoothing();
    StartLiveData();
}

void StartToolLiveStream(int32_t responseRate) {
    ResetLiveState();
    ResetLiveStream();
    ResponseRate.store(responseRate, std::memory_order_release);
    DeviceDataWanted.store(0, std::memory_order_release);
    LastLiveRequestTick = TickCount.load(std::memory_order_acquire) - LIVE_REQUEST_TICKS - 1;
}

void ServeLiveStream() {
    // A frame needs 9 bytes; from 8 on an extraction at least clears what precedes a "W".
    while (RxAvailable() >= LIVE_FRAME_SIZE - 1) {
        if (TakeLiveFrame() == LIVE_FRAME_INCOMPLETE)
            break; // the rest of the frame comes with a later pass
    }
    int32_t now = TickCount.load(std::memory_order_acquire);
    if (now - LastLiveRequestTick > LIVE_REQUEST_TICKS) {
        LastLiveRequestTick = now;
        SetStreamMode(STREAM_LIVE);
    }
    CheckLiveStale();
}

void ReadDeviceDataInStream() {
    if (!DeviceDataPending() ||
        (DataReadDeferred &&
         TickCount.load(std::memory_order_acquire) - DataReadFailedTick <= LIVE_REQUEST_TICKS))
        return;
    DataReadDeferred = ReadWantedDeviceData() != 0;
    DataReadFailedTick = TickCount.load(std::memory_order_acquire);
    LastLiveRequestTick = DataReadFailedTick - LIVE_REQUEST_TICKS - 1;
}

int LiveStreamPass() {
    {
        std::unique_lock<std::recursive_mutex> hold = HoldIdleLink();
        if (!hold.owns_lock())
            return -1;
        ServeLiveStream();
    }
    ReadDeviceDataInStream();
    return 0;
}

void WaitForLiveFrame(int32_t seenWriteIndex, double secondsLeft) {
    double ms = std::ceil(std::max(secondsLeft, 0.0) * 1000.0);
    WaitForRxArrival(seenWriteIndex, LIVE_FRAME_SIZE,
                     ms < LIVE_LOOK_MS ? static_cast<int>(ms) : LIVE_LOOK_MS);
}

int StopLiveStream(int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // A frame not yet written (the last pass's request, or an earlier attempt whose reply
        // came late on a loaded machine) would make this attempt fail unsent.
        for (int waited = 0; waited < TX_DRAIN_MS && TxLen.load(std::memory_order_acquire) != 0;
             ++waited)
            SleepMs(1);
        if (SetStreamMode(STREAM_OFF) == 0)
            return 0;
    }
    return -1;
}

void ResetLiveStream() {
    LastLiveRequestTick = 0;
    ResetLiveStale();
    DataReadDeferred = false;
}

size_t FormatLiveCsvRow(LiveCsvRow& row, double seconds, const LiveSample& sample, int mark) {
    std::array<char, 12> markText{};
    if (mark > 0)
        std::snprintf(markText.data(), markText.size(), "%d", mark);
    int length = std::snprintf(row.data(), row.size(), "%.3f,%d.%02d,%d.%d,%.4f,%d.%02d,%s\n",
                               seconds, sample.lambdaX100 / 100, sample.lambdaX100 % 100,
                               sample.afrX10 / 10, sample.afrX10 % 10, sample.lambdaRaw,
                               sample.factorX100 / 100, sample.factorX100 % 100, markText.data());
    return length < 0 ? 0 : std::min(static_cast<size_t>(length), row.size() - 1);
}
