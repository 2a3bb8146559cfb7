// The display thread's pass: discard, decode or leave RxRing by view, repeat the live-data
// request, and fetch the data block after a connection.
#include "display/display_thread.h"

#include "display/live_stream.h"
#include "link/link.h"
#include "platform/ticks.h"

#include <mutex>
#include <thread>

std::atomic<int32_t> ViewMode{VIEW_NONE};
std::atomic<int32_t> DisplayThreadStop{0};

namespace {
// A live view looks as often as the stream needs (for a due request and for stale values), as
// does a pass with work left (a data block still wanted on an open port, a pass the link was
// busy for); otherwise the thread sleeps until a byte, an opened port or a view switch wakes it.
constexpr int DISPLAY_WAIT_MS = LIVE_LOOK_MS;
std::thread DisplayThread;

void DiscardReceived() {
    RxApplyReset();
    RxReadIndex.store(RxWriteIndex.load(std::memory_order_acquire), std::memory_order_release);
}

bool Stopping() {
    return DisplayThreadStop.load(std::memory_order_acquire) != 0;
}
} // namespace

int DisplayThreadPass() {
    {
        // Holding the exchange lock while consuming keeps an exchange of another thread from
        // starting while this pass still reads the ring; a held lock or ExchangeActive skips
        // the consuming part.
        std::unique_lock<std::recursive_mutex> hold = HoldIdleLink();
        if (!hold.owns_lock())
            return -1;
        switch (ViewMode.load(std::memory_order_acquire)) {
        case VIEW_NONE:
        case VIEW_RECORDING:
            DiscardReceived();
            break;
        case VIEW_AFR_LAMBDA:
        case VIEW_LIVE_HISTORY:
            ServeLiveStream();
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
    if (IsLiveView(ViewMode.load(std::memory_order_acquire)))
        ReadDeviceDataInStream();
    else if (DeviceDataPending())
        ReadWantedDeviceData();
    return 0;
}

void ResetDisplayThread() {
    ViewMode.store(VIEW_NONE);
}

void DisplayThreadBody() {
    while (!Stopping()) {
        // Woken by any byte stored after the pass began, so a frame that completes while the
        // pass runs is decoded at once, and by RxWakeConsumer: the comm thread's opening or
        // closing of the port, the end of a claim (a view switch) and the stop.
        // In the live view the wait lasts until a whole frame is there: a frame that the comm
        // thread stores in two batches then costs one pass, not two.
        int32_t seen = RxWriteIndex.load(std::memory_order_acquire);
        bool skipped = DisplayThreadPass() != 0;
        bool live = IsLiveView(ViewMode.load(std::memory_order_acquire));
        bool paced = skipped || live || DeviceDataPending();
        WaitForRxArrival(seen, live ? LIVE_FRAME_SIZE : 1,
                         paced ? DISPLAY_WAIT_MS : RX_WAIT_FOREVER);
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
    RxWakeConsumer();
    DisplayThread.join();
}
