// The Recording view's scroll bar on Windows. The bar counts the file's time in SCROLL_UNITS
// steps, its thumb as wide as the time on screen; every move of the view sets it again.
#include "display/review_bar_win32.h"

#include "app/shell_win32.h"
#include "display/canvas_gdi_win32.h"
#include "display/history_chart.h"
#include "display/recording_view.h"
#include "display/review_bar.h"
#include "display/review_input.h"

#include <cmath>

namespace {

constexpr int SCROLL_UNITS = 10000;
constexpr int SCROLL_Y = 470;
constexpr int SCROLL_HEIGHT = 17;
constexpr int WHEEL_NOTCH = WHEEL_DELTA;

HWND ScrollBar = nullptr;
int WheelRest = 0; // a fine wheel's turns short of a notch

void UpdateScrollBar() {
    if (ScrollBar == nullptr)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = SCROLL_UNITS;
    info.nPage = static_cast<UINT>(std::lround(ReviewSpan() / ReviewWholeTime() * SCROLL_UNITS));
    info.nPos = static_cast<int>(
        std::lround((ReviewStart() - ReviewFirst()) / ReviewWholeTime() * SCROLL_UNITS));
    SetScrollInfo(ScrollBar, SB_CTL, &info, TRUE);
}

} // namespace

void RedrawReview() {
    UpdateScrollBar();
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawReviewChart(canvas);
    CanvasCloseWindow(canvas);
}

void CreateReviewControls() {
    ScrollBar = CreateViewControl("SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, HISTORY_LEFT,
                                  SCROLL_Y, HISTORY_COLUMNS, SCROLL_HEIGHT);
    UpdateScrollBar();
}

void DestroyReviewControls() {
    DestroyViewControl(ScrollBar);
}

int ReviewWheelSteps(int delta) {
    WheelRest += delta;
    int steps = WheelRest / WHEEL_NOTCH;
    WheelRest -= steps * WHEEL_NOTCH;
    return steps;
}

void OnReviewScroll(int code) {
    ViewInput input = VIEW_INPUT_NONE;
    switch (code) {
    case SB_LINELEFT:
        input = ReviewKey(VIEW_KEY_LEFT);
        break;
    case SB_LINERIGHT:
        input = ReviewKey(VIEW_KEY_RIGHT);
        break;
    case SB_PAGELEFT:
        input = ReviewKey(VIEW_KEY_PAGE_UP);
        break;
    case SB_PAGERIGHT:
        input = ReviewKey(VIEW_KEY_PAGE_DOWN);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(ScrollBar, SB_CTL, &info);
        ScrollReviewTo(ReviewFirst() + info.nTrackPos * ReviewWholeTime() / SCROLL_UNITS);
        input = VIEW_INPUT_REDRAW;
        break;
    }
    default:
        break;
    }
    if (input == VIEW_INPUT_REDRAW)
        RedrawReview();
    // The keys belong to the view, not to the bar a click gave the focus to.
    SetFocus(MainWindow);
}
