// The display thread: the consumer of RxRing whenever no exchange owns it. Each pass takes
// the unread bytes as the shown view needs them, keeps the live stream going in the AFR and
// Lambda view, and reads the unit's data block once after every opening of the port.
#pragma once

#include <atomic>
#include <cstdint>

// The view shown, and so what the display thread does with the received bytes; written by the
// main thread alone.
extern std::atomic<int32_t> ViewMode;
enum ViewModeValue : int32_t {
    VIEW_NONE = 0,            // the bytes are thrown away
    VIEW_AFR_LAMBDA = 1,      // the bytes are decoded as live frames
    VIEW_WB_SETUP = 2,        // the view's own exchanges take the bytes
    VIEW_FIRMWARE_UPDATE = 3, // likewise
    VIEW_LIVE_HISTORY = 4,    // decoded as in the AFR and Lambda view
    VIEW_RECORDING = 5,       // a recorded file: thrown away, as with none
};

// The views in which the live stream runs.
constexpr bool IsLiveView(int32_t view) {
    return view == VIEW_AFR_LAMBDA || view == VIEW_LIVE_HISTORY;
}

// One pass of the thread, without the wait for received bytes that follows it; -1 when the
// link was claimed or busy with another thread's exchange, so the pass did nothing.
int DisplayThreadPass();

// Runs passes until StopDisplayThread, which every program that starts it calls before it ends
// (the Windows utility when its window has closed).
void DisplayThreadBody();
void StartDisplayThread();
void StopDisplayThread();
extern std::atomic<int32_t> DisplayThreadStop;

// Start value of ViewMode (tests).
void ResetDisplayThread();
