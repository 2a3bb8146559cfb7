// View switching and the menu states that follow it: the Display menu grays the shown view's
// command; the live views run the recording's timer.
#include "app/view_switch.h"

#include "app/live_views.h"
#include "app/menu.h"
#include "app/recording.h"
#include "app/shell.h"
#include "display/display_thread.h"
#include "display/live_stream.h"
#include "display/recording_view_win32.h"
#include "firmware/firmware_view_win32.h"
#include "link/link.h"
#include "resources/resource.h"
#include "wbsetup/setup_view_win32.h"

namespace {

constexpr UINT VIEW_TIMER_MS = 1000;
// A view switch pauses this long with the link claimed before its first exchange. The claim
// itself already waits for a display pass under way; the pause is the utility's as it always was.
constexpr int SWITCH_SETTLE_MS = 10;

bool TimerRunning = false;

// Leaves the current view; the caller holds the link.
void LeaveView(int32_t current) {
    Sleep(SWITCH_SETTLE_MS);
    switch (current) {
    case VIEW_AFR_LAMBDA:
    case VIEW_LIVE_HISTORY:
        StopLiveStream(1);
        break;
    case VIEW_WB_SETUP:
        DestroySetupControls();
        break;
    case VIEW_FIRMWARE_UPDATE:
        DestroyFirmwareControls();
        break;
    case VIEW_RECORDING:
        DestroyReviewControls();
        break;
    default:
        break;
    }
}

void EnterView(int32_t view) {
    switch (view) {
    case VIEW_AFR_LAMBDA:
    case VIEW_LIVE_HISTORY:
        StartLiveStream();
        break;
    case VIEW_WB_SETUP:
        CreateSetupControls();
        break;
    case VIEW_FIRMWARE_UPDATE:
        CreateFirmwareControls();
        break;
    case VIEW_RECORDING:
        CreateReviewControls();
        break;
    default:
        break;
    }
}

} // namespace

int SelectView(HWND window, int command) {
    const MenuCommand* chosen = FindMenuCommand(command);
    if (chosen == nullptr || chosen->view == VIEW_NONE) {
        DrawMenuBar(MainWindow);
        return 0;
    }
    GrayShownView(chosen->view);
    int32_t current = ViewMode.load(std::memory_order_acquire);
    if (!IsLiveView(chosen->view))
        EndRecording(); // the file is complete before the stream stops
    bool liveToLive = IsLiveView(current) && IsLiveView(chosen->view) && current != chosen->view;
    if (liveToLive) {
        // Between the two live views the stream, and a recording, go on.
        ViewMode.store(chosen->view, std::memory_order_release);
    } else if (current != chosen->view) {
        LinkClaim claim;
        LeaveView(current);
        ViewMode.store(chosen->view, std::memory_order_release);
        EnterView(chosen->view);
    }
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT);
    if (PortStatus.load(std::memory_order_acquire) == 0)
        Reconnect();
    if (!liveToLive) // a frame half received belongs to the stream that goes on
        RequestRxReset();
    UpdateViewTimer();
    DrawMenuBar(MainWindow);
    return 0;
}

void UpdateViewTimer() {
    bool wanted = IsLiveView(ViewMode.load(std::memory_order_acquire));
    if (wanted && !TimerRunning) {
        TimerRunning = SetTimer(MainWindow, VIEW_TIMER, VIEW_TIMER_MS, nullptr) != 0;
    } else if (!wanted && TimerRunning) {
        KillTimer(MainWindow, VIEW_TIMER);
        TimerRunning = false;
    }
}

int RecordInLiveView(std::string_view path) {
    if (BeginRecording(path) != 0)
        return -1;
    if (!IsLiveView(ViewMode.load(std::memory_order_acquire)))
        SelectView(MainWindow, IDM_AFR_LAMBDA);
    return 0;
}

void OnViewTimer() {
    KeepRecordingUp();
    // In an outage no frame redraws the chart: the gap grows from here.
    RedrawLiveHistory();
}
