// The client area: the views' table (app/views.h) draws and takes the input; the live views'
// drawing that their listeners asked for is done here, on the GUI thread.
#include "desktop/client_area_qt.h"

#include "app/status_note.h"
#include "app/view_controls.h"
#include "app/views.h"
#include "desktop/canvas_qt.h"
#include "desktop/firmware_view_qt.h"
#include "desktop/shell_qt.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/recording_view.h"

#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int WHEEL_NOTCH = 120; // a notch of the wheel, in eighths of a degree

void TakeViewInput(ViewInput input) {
    if (input == VIEW_INPUT_REFUSED)
        BeepRefusedInput();
    else if (input == VIEW_INPUT_REDRAW)
        RedrawReviewView(); // the Recording view is the one that takes input
}

int ViewKeyOf(int key) {
    switch (key) {
    case Qt::Key_Left:
        return VIEW_KEY_LEFT;
    case Qt::Key_Right:
        return VIEW_KEY_RIGHT;
    case Qt::Key_PageUp:
        return VIEW_KEY_PAGE_UP;
    case Qt::Key_PageDown:
        return VIEW_KEY_PAGE_DOWN;
    case Qt::Key_Home:
        return VIEW_KEY_HOME;
    case Qt::Key_End:
        return VIEW_KEY_END;
    default:
        return -1;
    }
}

} // namespace

ClientArea::ClientArea(int width, int height, QWidget* parent)
    : QWidget(parent), surface(width, height, QImage::Format_RGB32) {
    surface.fill(QColor(220, 220, 220));
    setFixedSize(width, height);
    // The surface covers every pixel: nothing to fill before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // Takes the keys when no control has them, as the Windows utility's main window does, but is
    // no stop of the Tab key.
    setFocusPolicy(Qt::ClickFocus);
    // The views' fields, as the Windows utility colours its edit controls.
    QPalette fields = palette();
    fields.setColor(QPalette::Base, QColor(250, 250, 250));
    setPalette(fields);
}

void ClientArea::DrawAskedFor() {
    SurfaceDamage damage = TakeSurfaceDamage();
    if (!damage.erase.isEmpty()) {
        QPainter eraser(&surface);
        for (const QRect& rect : damage.erase)
            eraser.fillRect(rect, QColor(220, 220, 220));
    }
    const ViewRow* shown = ShownView();
    if (!damage.repaint.isEmpty()) {
        Canvas* canvas = OpenSurfaceCanvas(surface, damage.repaint);
        DrawStatusNoteLine(canvas);
        if (shown != nullptr)
            shown->paint(canvas, canvas);
        CloseSurfaceCanvas(canvas);
    }
    if (damage.work == 0)
        return;
    Canvas* canvas = OpenSurfaceCanvas(surface, QRegion());
    if ((damage.work & SURFACE_STATUS_LINE) != 0)
        DrawStatusNoteLine(canvas);
    int32_t view = shown != nullptr ? shown->view : VIEW_NONE;
    if ((damage.work & SURFACE_LIVE_GAUGES) != 0 && view == VIEW_AFR_LAMBDA)
        UpdateLiveGauges(canvas);
    if ((damage.work & SURFACE_LIVE_HISTORY) != 0 && view == VIEW_LIVE_HISTORY)
        DrawHistoryChart(canvas, HistoryNow());
    if ((damage.work & SURFACE_REVIEW_CHART) != 0 && view == VIEW_RECORDING)
        DrawReviewChart(canvas);
    CloseSurfaceCanvas(canvas);
}

void ClientArea::paintEvent(QPaintEvent* event) {
    DrawAskedFor();
    QPainter screen(this);
    for (const QRect& rect : event->region())
        screen.drawImage(rect, surface, rect);
}

void ClientArea::keyPressEvent(QKeyEvent* event) {
    const ViewRow* shown = ShownView();
    if (shown == nullptr)
        return;
    // Alt and a letter of the view's own (Alt+U: Update Firmware).
    if ((event->modifiers() & Qt::AltModifier) != 0 && FirmwareAltKey(event->key()))
        return;
    int viewKey = ViewKeyOf(event->key());
    if (viewKey >= 0 && shown->key != nullptr) {
        TakeViewInput(shown->key(static_cast<ViewKey>(viewKey)));
        return;
    }
    QByteArray text = event->text().toLatin1();
    if (text.size() == 1 && shown->character != nullptr &&
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0)
        TakeViewInput(shown->character(text[0]));
}

void ClientArea::wheelEvent(QWheelEvent* event) {
    const ViewRow* shown = ShownView();
    if (shown == nullptr || shown->wheel == nullptr)
        return;
    wheelRest += event->angleDelta().y();
    int steps = wheelRest / WHEEL_NOTCH;
    wheelRest -= steps * WHEEL_NOTCH;
    if (steps != 0)
        TakeViewInput(shown->wheel(steps, static_cast<int>(event->position().x())));
}

void ClientArea::mouseMoveEvent(QMouseEvent* event) {
    const ViewRow* shown = ShownView();
    if (shown != nullptr && shown->pointer != nullptr)
        TakeViewInput(shown->pointer(static_cast<int>(event->position().x()),
                                     static_cast<int>(event->position().y())));
}

bool ClientArea::focusNextPrevChild(bool next) {
    // Tab, Enter and Escape move among the controls of a view that has tab stops, and nowhere
    // in the others.
    const ViewRow* shown = ShownView();
    if (shown == nullptr || !shown->tabStops)
        return true;
    return QWidget::focusNextPrevChild(next);
}
