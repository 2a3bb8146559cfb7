// What the desktop program's client area draws at its next paint: parts painted afresh for the
// portable rules (app/shell.h), and the status line and the live views' drawing asked for from any
// thread. The shell keeps it as data and reaches the widgets through Qt alone.
#pragma once

#include "app/shell.h"
#include "desktop/gui_thread_qt.h"

#include <QRegion>

// What the next paint draws on the surface before it puts it on the screen: parts of the client
// area painted afresh (erase: filled with the background first), the status line alone, and the
// live views' and the Recording view's drawing since the last paint. From any thread; each asks
// for the paint.
enum SurfaceWork : unsigned {
    SURFACE_STATUS_LINE = 1u << 0,
    SURFACE_LIVE_GAUGES = 1u << 1,  // what changed of the dial and the readouts
    SURFACE_LIVE_HISTORY = 1u << 2, // the history chart at the present time
    SURFACE_REVIEW_CHART = 1u << 3, // the Recording view's chart after a move
};
void AskSurfaceWork(SurfaceWork work);
struct SurfaceDamage {
    QRegion repaint;
    QRegion erase;
    unsigned work = 0;
};
// On the GUI thread, at the start of a paint: what has been asked for since the last one.
SurfaceDamage TakeSurfaceDamage();
// The part of the client area each work draws on.
QRect SurfaceWorkArea(SurfaceWork work);
