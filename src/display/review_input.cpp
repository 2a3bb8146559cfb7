// The Recording view's input rules.
#include "display/review_input.h"

#include "display/history_chart.h"
#include "display/recording_view.h"

#include <algorithm>

namespace {
constexpr double LINE_SHARE = 0.1; // Left and Right: a tenth of the screen

ViewInput ScrollBy(double share) {
    ScrollReviewTo(ReviewStart() + share * ReviewSpan());
    return VIEW_INPUT_REDRAW;
}
} // namespace

double ReviewWholeTime() {
    return std::max(ReviewLast() - ReviewFirst(), ReviewSpan());
}

ViewInput ReviewKey(ViewKey key) {
    switch (key) {
    case VIEW_KEY_LEFT:
        return ScrollBy(-LINE_SHARE);
    case VIEW_KEY_RIGHT:
        return ScrollBy(LINE_SHARE);
    case VIEW_KEY_PAGE_UP:
        return ScrollBy(-1.0);
    case VIEW_KEY_PAGE_DOWN:
        return ScrollBy(1.0);
    case VIEW_KEY_HOME:
        return ScrollBy(-ReviewWholeTime() / ReviewSpan());
    case VIEW_KEY_END:
        return ScrollBy(ReviewWholeTime() / ReviewSpan());
    }
    return VIEW_INPUT_NONE;
}

ViewInput ReviewCharacter(char character) {
    switch (character) {
    case '+':
    case '=': // + without Shift on most layouts
        ZoomReview(1, -1);
        return VIEW_INPUT_REDRAW;
    case '-':
        ZoomReview(-1, -1);
        return VIEW_INPUT_REDRAW;
    case 'n':
    case 'N':
        return JumpToMarker(1) == 0 ? VIEW_INPUT_REFUSED : VIEW_INPUT_REDRAW;
    case 'p':
    case 'P':
        return JumpToMarker(-1) == 0 ? VIEW_INPUT_REFUSED : VIEW_INPUT_REDRAW;
    default:
        return VIEW_INPUT_NONE;
    }
}

ViewInput ReviewWheel(int steps, int x) {
    if (steps == 0)
        return VIEW_INPUT_NONE;
    ZoomReview(steps, x);
    return VIEW_INPUT_REDRAW;
}

ViewInput ReviewPointer(int x, int y) {
    bool inside = y >= HISTORY_TOP && y <= HISTORY_BOTTOM;
    SetReviewCursor(inside ? x : -1);
    return VIEW_INPUT_REDRAW;
}
