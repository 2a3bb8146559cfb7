// The live views' listeners of the desktop program: on the decoding thread they only note what
// changed and ask for a paint; the client area draws it in its paint event, on the GUI thread.
#include "app/live_views.h"

#include "desktop/shell_qt.h"
#include "display/display_thread.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/live_stream.h"

namespace {

// After KeepHistorySample has kept the frame.
void ShowLiveFrame(const LiveSample&) {
    switch (ViewMode.load(std::memory_order_acquire)) {
    case VIEW_AFR_LAMBDA:
        CountActivityFrame();
        AskSurfaceWork(SURFACE_LIVE_GAUGES);
        break;
    case VIEW_LIVE_HISTORY:
        if (HistoryRedrawDue(HistoryNow()))
            AskSurfaceWork(SURFACE_LIVE_HISTORY);
        break;
    default:
        break;
    }
}

// Dashes drawn in another view would stand in its area until it is painted again.
void ShowStaleValues() {
    switch (ViewMode.load(std::memory_order_acquire)) {
    case VIEW_AFR_LAMBDA:
        AskSurfaceWork(SURFACE_LIVE_GAUGES);
        break;
    case VIEW_LIVE_HISTORY:
        AskSurfaceWork(SURFACE_LIVE_HISTORY);
        break;
    default:
        break;
    }
}

} // namespace

void AddLiveViewListeners() {
    AddLiveListener(KeepHistorySample);
    AddLiveListener(ShowLiveFrame);
    AddLiveStaleListener(ShowStaleValues);
}

void RedrawLiveHistory() {
    if (ViewMode.load(std::memory_order_acquire) == VIEW_LIVE_HISTORY)
        AskSurfaceWork(SURFACE_LIVE_HISTORY);
}
