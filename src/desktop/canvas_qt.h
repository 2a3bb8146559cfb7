// The canvas on Qt (display/canvas.h): a QPainter on an image. The desktop program keeps one image
// of the main window's client area, its surface, which every paint event draws on and then shows;
// the layers and the off-screen canvases are images of their own. All of it on the GUI thread.
#pragma once

#include "display/canvas.h"

#include <QFont>
#include <QImage>
#include <QRegion>

// The four fonts of the Windows utility (and the system font) as Qt fonts whose character cell is
// as many pixels high as the Windows font's: StatusFont a fixed-pitch bold of 20, CourierFont a
// typewriter face of 17, LargeFont the default face of 24, the OEM fixed font of 12. Made once,
// after the application object.
void CreateCanvasFonts();
QFont CanvasQtFont(CanvasFont font);

// The client area's size that CanvasClientSize reports.
void SetCanvasClientSize(int width, int height);

// A canvas on the surface for one paint, with a fresh context's selections; shown is the part of
// the window that the paint puts on the screen (CanvasPartVisible), and the drawing is clipped to
// it. Close it before the paint event ends.
Canvas* OpenSurfaceCanvas(QImage& surface, const QRegion& shown);
void CloseSurfaceCanvas(Canvas* canvas);
