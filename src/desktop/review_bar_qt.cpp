// The Recording view's scroll bar on Qt, in SCROLL_UNITS steps of the file's time.
#include "desktop/review_bar_qt.h"

#include "desktop/shell_qt.h"
#include "display/history_chart.h"
#include "display/recording_view.h"
#include "display/review_bar.h"
#include "display/review_input.h"

#include <QPointer>
#include <QScrollBar>

#include <cmath>

namespace {

constexpr int SCROLL_UNITS = 10000;
constexpr int SCROLL_Y = 470;
constexpr int SCROLL_HEIGHT = 17;

QPointer<QScrollBar> ScrollBar;

void UpdateScrollBar() {
    if (ScrollBar == nullptr)
        return;
    int page = static_cast<int>(std::lround(ReviewSpan() / ReviewWholeTime() * SCROLL_UNITS));
    ScrollBar->setRange(0, std::max(SCROLL_UNITS - page, 0));
    ScrollBar->setPageStep(page);
    ScrollBar->setValue(static_cast<int>(
        std::lround((ReviewStart() - ReviewFirst()) / ReviewWholeTime() * SCROLL_UNITS)));
}

void OnBarAction(int action) {
    ViewInput input = VIEW_INPUT_NONE;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        input = ReviewKey(VIEW_KEY_LEFT);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        input = ReviewKey(VIEW_KEY_RIGHT);
        break;
    case QAbstractSlider::SliderPageStepSub:
        input = ReviewKey(VIEW_KEY_PAGE_UP);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        input = ReviewKey(VIEW_KEY_PAGE_DOWN);
        break;
    case QAbstractSlider::SliderMove:
        ScrollReviewTo(ReviewFirst() +
                       ScrollBar->sliderPosition() * ReviewWholeTime() / SCROLL_UNITS);
        input = VIEW_INPUT_REDRAW;
        break;
    default:
        break;
    }
    if (input == VIEW_INPUT_REDRAW)
        RedrawReview();
    // The bar shows where the view is, not where the action alone would have put it.
    ScrollBar->setSliderPosition(ScrollBar->value());
    // The keys belong to the view, not to the bar a click gave the focus to.
    if (GuiClient() != nullptr)
        GuiClient()->setFocus(Qt::OtherFocusReason);
}

} // namespace

void RedrawReview() {
    UpdateScrollBar();
    AskSurfaceWork(SURFACE_REVIEW_CHART);
}

void CreateReviewControls() {
    ScrollBar = new QScrollBar(Qt::Horizontal, GuiClient());
    ScrollBar->setGeometry(HISTORY_LEFT, SCROLL_Y, HISTORY_COLUMNS, SCROLL_HEIGHT);
    ScrollBar->setFocusPolicy(Qt::NoFocus);
    QObject::connect(ScrollBar, &QAbstractSlider::actionTriggered, OnBarAction);
    UpdateScrollBar();
    ScrollBar->show();
}

void DestroyReviewControls() {
    if (ScrollBar != nullptr) {
        ScrollBar->hide();
        ScrollBar->deleteLater();
    }
    ScrollBar = nullptr;
}
