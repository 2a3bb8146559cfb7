// The Recording view's scroll bar and input. The bar counts the file's time in SCROLL_UNITS
// steps, its thumb as wide as the time on screen; every move of the view sets it again.
#include "display/recording_view_win32.h"

#include "app/shell_win32.h"
#include "display/canvas_gdi_win32.h"
#include "display/history_chart.h"
#include "display/recording_view.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int SCROLL_UNITS = 10000;
constexpr int SCROLL_Y = 470;
constexpr int SCROLL_HEIGHT = 17;
constexpr double LINE_SHARE = 0.1; // Left and Right: a tenth of the screen
constexpr int WHEEL_NOTCH = WHEEL_DELTA;

HWND ScrollBar = nullptr;
int WheelRest = 0; // a fine wheel's turns short of a notch

// The bar's whole: the file, or the span when the file is shorter.
double WholeTime() {
    return std::max(ReviewLast() - ReviewFirst(), ReviewSpan());
}

void Redraw() {
    UpdateReviewScrollBar();
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawReviewChart(canvas);
    CanvasCloseWindow(canvas);
}

void ScrollBy(double share) {
    ScrollReviewTo(ReviewStart() + share * ReviewSpan());
    Redraw();
}

} // namespace

void UpdateReviewScrollBar() {
    if (ScrollBar == nullptr)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = SCROLL_UNITS;
    info.nPage = static_cast<UINT>(std::lround(ReviewSpan() / WholeTime() * SCROLL_UNITS));
    info.nPos =
        static_cast<int>(std::lround((ReviewStart() - ReviewFirst()) / WholeTime() * SCROLL_UNITS));
    SetScrollInfo(ScrollBar, SB_CTL, &info, TRUE);
}

void CreateReviewControls() {
    ScrollBar = CreateViewControl("SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, HISTORY_LEFT,
                                  SCROLL_Y, HISTORY_COLUMNS, SCROLL_HEIGHT);
    UpdateReviewScrollBar();
}

void DestroyReviewControls() {
    DestroyViewControl(ScrollBar);
}

void OnReviewKey(WPARAM key) {
    switch (key) {
    case VK_LEFT:
        ScrollBy(-LINE_SHARE);
        break;
    case VK_RIGHT:
        ScrollBy(LINE_SHARE);
        break;
    case VK_PRIOR:
        ScrollBy(-1.0);
        break;
    case VK_NEXT:
        ScrollBy(1.0);
        break;
    case VK_HOME:
        ScrollBy(-WholeTime() / ReviewSpan());
        break;
    case VK_END:
        ScrollBy(WholeTime() / ReviewSpan());
        break;
    default:
        break;
    }
}

void OnReviewChar(WPARAM character) {
    switch (character) {
    case '+':
    case '=': // + without Shift on most layouts
        ZoomReview(1, -1);
        break;
    case '-':
        ZoomReview(-1, -1);
        break;
    case 'n':
    case 'N':
        if (JumpToMarker(1) == 0)
            BeepRefusedInput();
        break;
    case 'p':
    case 'P':
        if (JumpToMarker(-1) == 0)
            BeepRefusedInput();
        break;
    default:
        return;
    }
    Redraw();
}

void OnReviewWheel(int delta, POINT screen) {
    ScreenToClient(MainWindow, &screen);
    WheelRest += delta;
    int steps = WheelRest / WHEEL_NOTCH;
    WheelRest -= steps * WHEEL_NOTCH;
    if (steps == 0)
        return;
    ZoomReview(steps, screen.x);
    Redraw();
}

void OnReviewPointer(int x, int y) {
    bool inside = y >= HISTORY_TOP && y <= HISTORY_BOTTOM;
    SetReviewCursor(inside ? x : -1);
    Redraw();
}

void OnReviewScroll(int code) {
    switch (code) {
    case SB_LINELEFT:
        ScrollBy(-LINE_SHARE);
        break;
    case SB_LINERIGHT:
        ScrollBy(LINE_SHARE);
        break;
    case SB_PAGELEFT:
        ScrollBy(-1.0);
        break;
    case SB_PAGERIGHT:
        ScrollBy(1.0);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(ScrollBar, SB_CTL, &info);
        ScrollReviewTo(ReviewFirst() + info.nTrackPos * WholeTime() / SCROLL_UNITS);
        Redraw();
        break;
    }
    default:
        break;
    }
    // The keys belong to the view, not to the bar a click gave the focus to.
    SetFocus(MainWindow);
}
