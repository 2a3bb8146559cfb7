// The live views' listeners of the Windows utility. The portable drawing draws on the canvas it
// is given; here the decoding thread opens the main window's kept context for it after each good
// frame and when the values turn stale, in the view that is shown alone.
#include "app/live_views.h"

#include "display/canvas.h"
#include "display/display_thread.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/live_stream.h"

namespace {

void DrawOnWindow(void (*draw)(Canvas* canvas)) {
    Canvas* canvas = CanvasOpenWindowKept();
    if (canvas == nullptr)
        return;
    draw(canvas);
    CanvasCloseWindow(canvas);
}

void DrawHistoryNow(Canvas* canvas) {
    DrawHistoryChart(canvas, HistoryNow());
}

// After KeepHistorySample has kept the frame.
void ShowLiveFrame(const LiveSample&) {
    switch (ViewMode.load(std::memory_order_acquire)) {
    case VIEW_AFR_LAMBDA:
        CountActivityFrame();
        DrawOnWindow(UpdateLiveGauges);
        break;
    case VIEW_LIVE_HISTORY:
        if (HistoryRedrawDue(HistoryNow()))
            DrawOnWindow(DrawHistoryNow);
        break;
    default:
        break;
    }
}

// Dashes drawn in another view would stand in its area until it is painted again.
void ShowStaleValues() {
    switch (ViewMode.load(std::memory_order_acquire)) {
    case VIEW_AFR_LAMBDA:
        DrawOnWindow(ShowStaleGauges);
        break;
    case VIEW_LIVE_HISTORY:
        DrawOnWindow(DrawHistoryNow);
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
    if (ViewMode.load(std::memory_order_acquire) != VIEW_LIVE_HISTORY)
        return;
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawHistoryNow(canvas);
    CanvasCloseWindow(canvas);
}
