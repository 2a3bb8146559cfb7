// The display thread's pass: discard, decode or leave RxRing by view, repeat the live-data
// request, and fetch the data block after a connection.
#include "display/display_thread.h"

#include "display/live_decode.h"
#include "link/link.h"
#include "platform/ticks.h"

#include <mutex>
#include <thread>

std::atomic<int32_t> ViewMode{VIEW_NONE};
int32_t LastLiveRequestTick = 0;
std::atomic<int32_t> DisplayThreadStop{0};

namespace {
constexpr uint8_t STREAM_LIVE = 8;
constexpr int DISPLAY_WAIT_MS = 100;
std::thread DisplayThread;

void DiscardReceived() {
    RxApplyReset();
    RxReadIndex.store(RxWriteIndex.load(std::memory_order_acquire), std::memory_order_release);
}

void ServeLiveView() {
    // A frame needs 9 bytes; from 8 on an extraction at least clears what precedes a "W".
    while (RxAvailable() >= LIVE_FRAME_SIZE - 1) {
        if (DecodeLiveFrame() == LIVE_FRAME_INCOMPLETE)
            break; // the rest of the frame comes with a later pass
    }
    int32_t now = TickCount.load(std::memory_order_acquire);
    if (now - LastLiveRequestTick > LIVE_REQUEST_TICKS) {
        LastLiveRequestTick = now;
        SetStreamMode(STREAM_LIVE);
    }
}

void ReadDeviceDataWhenWanted() {
    if (PortOpen.load(std::memory_order_acquire) == 0 ||
        DeviceDataWanted.load(std::memory_order_acquire) == 0)
        return;
    // Cleared before the read so that a reopening during it asks for another read.
    DeviceDataWanted.store(0, std::memory_order_release);
    if (GetDeviceData() != 0)
        DeviceDataWanted.store(1, std::memory_order_release);
}

bool Stopping() {
    return DisplayThreadStop.load(std::memory_order_acquire) != 0;
}
} // namespace

void DisplayThreadPass() {
    {
        // Holding the exchange lock while consuming keeps an exchange of another thread from
        // starting while this pass still reads the ring; a held lock or ExchangeActive skips
        // the consuming part.
        std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::try_to_lock);
        if (!hold.owns_lock() || ExchangeActive.load(std::memory_order_acquire) != 0)
            return;
        switch (ViewMode.load(std::memory_order_acquire)) {
        case VIEW_NONE:
            DiscardReceived();
            break;
        case VIEW_AFR_LAMBDA:
        case VIEW_LIVE_HISTORY:
            ServeLiveView();
            break;
        case VIEW_WB_SETUP:
        case VIEW_FIRMWARE_UPDATE:
            // Nothing is read here, but the ring is this pass's while it holds the lock: a
            // requested reset, or one for an overflow, is carried out at once, so the view's
            // next exchange starts on an empty ring.
            if (RxOverflow.load(std::memory_order_acquire) == 1)
                RequestRxReset();
            RxApplyReset();
            break;
        }
    }
    // The data-block read takes the lock for its own exchanges and shows its error box
    // without it, so a box waiting for the user never holds up another thread's exchange.
    ReadDeviceDataWhenWanted();
}

void ResetDisplayThread() {
    ViewMode.store(VIEW_NONE);
    LastLiveRequestTick = 0;
}

void DisplayThreadBody() {
    while (!Stopping()) {
        // Woken by any byte stored after the pass began, so a frame that completes while the
        // pass runs is decoded at once; the time-out paces the live request, view changes
        // and reads after a reconnection.
        int32_t seen = RxWriteIndex.load(std::memory_order_acquire);
        DisplayThreadPass();
        WaitForRxArrival(seen, DISPLAY_WAIT_MS);
    }
}

void StartDisplayThread() {
    if (DisplayThread.joinable())
        return;
    DisplayThreadStop.store(0, std::memory_order_release);
    DisplayThread = std::thread(DisplayThreadBody);
}

void StopDisplayThread() {
    if (!DisplayThread.joinable())
        return;
    DisplayThreadStop.store(1, std::memory_order_release);
    DisplayThread.join();
}
