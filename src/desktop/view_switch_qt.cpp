// The views' controls in the desktop program and the live views' once-a-second timer.
#include "app/live_views.h"
#include "app/recording.h"
#include "app/view_controls.h"
#include "desktop/firmware_view_qt.h"
#include "desktop/review_bar_qt.h"
#include "display/display_thread.h"

#include <QApplication>
#include <QTimer>

namespace {

constexpr int VIEW_TIMER_MS = 1000;
QTimer* ViewTimer = nullptr;

} // namespace

void SetViewTimer(bool running) {
    if (ViewTimer == nullptr) {
        if (!running)
            return;
        ViewTimer = new QTimer(qApp);
        QObject::connect(ViewTimer, &QTimer::timeout, [] {
            KeepRecordingUp();
            // In an outage no frame redraws the chart: the gap grows from here.
            RedrawLiveHistory();
        });
    }
    if (running && !ViewTimer->isActive())
        ViewTimer->start(VIEW_TIMER_MS);
    else if (!running)
        ViewTimer->stop();
}

void RedrawReviewView() {
    RedrawReview();
}
