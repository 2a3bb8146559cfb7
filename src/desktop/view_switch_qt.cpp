// The views' controls in the desktop program and the live views' once-a-second timer.
#include "app/live_views.h"
#include "app/recording.h"
#include "app/view_controls.h"
#include "desktop/firmware_view_qt.h"
#include "desktop/review_bar_qt.h"
#include "desktop/setup_view_qt.h"
#include "display/display_thread.h"

#include <QApplication>
#include <QTimer>

namespace {

constexpr int VIEW_TIMER_MS = 1000;
QTimer* ViewTimer = nullptr;

} // namespace

void ShowViewControls(int32_t view) {
    switch (view) {
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

void HideViewControls(int32_t view) {
    switch (view) {
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
