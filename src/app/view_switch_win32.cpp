// The views' controls on Windows, their timer and their input.
#include "app/view_switch.h"

#include "app/live_views.h"
#include "app/recording.h"
#include "app/shell_win32.h"
#include "app/view_controls.h"
#include "display/display_thread.h"
#include "display/review_bar_win32.h"
#include "firmware/firmware_view_win32.h"
#include "wbsetup/setup_view_win32.h"

namespace {

constexpr UINT VIEW_TIMER_MS = 1000;

bool TimerRunning = false;

} // namespace

void SetViewTimer(bool running) {
    if (running && !TimerRunning) {
        TimerRunning = SetTimer(MainWindow, VIEW_TIMER, VIEW_TIMER_MS, nullptr) != 0;
    } else if (!running && TimerRunning) {
        KillTimer(MainWindow, VIEW_TIMER);
        TimerRunning = false;
    }
}

void OnViewTimer() {
    KeepRecordingUp();
    // In an outage no frame redraws the chart: the gap grows from here.
    RedrawLiveHistory();
}

void OnViewButton(HWND control) {
    switch (ViewMode.load(std::memory_order_acquire)) {
    case VIEW_WB_SETUP:
        OnSetupCommand(control);
        break;
    case VIEW_FIRMWARE_UPDATE:
        StartFirmwareWorker(control);
        break;
    default:
        break;
    }
}

void RedrawReviewView() {
    RedrawReview();
}

void ActOnViewInput(ViewInput input) {
    if (input == VIEW_INPUT_REFUSED)
        BeepRefusedInput();
    else if (input == VIEW_INPUT_REDRAW)
        RedrawReview(); // the Recording view is the one that takes input
}

bool ViewSysChar(WPARAM character) {
    return ViewMode.load(std::memory_order_acquire) == VIEW_FIRMWARE_UPDATE &&
           FirmwareSysChar(character);
}

int ToViewKey(WPARAM key) {
    switch (key) {
    case VK_LEFT:
        return VIEW_KEY_LEFT;
    case VK_RIGHT:
        return VIEW_KEY_RIGHT;
    case VK_PRIOR:
        return VIEW_KEY_PAGE_UP;
    case VK_NEXT:
        return VIEW_KEY_PAGE_DOWN;
    case VK_HOME:
        return VIEW_KEY_HOME;
    case VK_END:
        return VIEW_KEY_END;
    default:
        return -1;
    }
}
