// Canvas seam: the drawing calls that the views use, picked at link time. On Windows
// every call is the GDI call of the same meaning on a device context (canvas_gdi_win32.cpp);
// the native tests link a canvas that records every call with its parameters.
//
// A canvas keeps the state of a device context: the pen, brush, font, text and
// background colours and text alignment stay selected until changed. Pens and brushes
// are created by CanvasSetPen and CanvasSetBrush and deleted by CanvasRestoreObjects,
// which also selects the canvas's original pen and brush again.
#pragma once

#include <cstdint>
#include <string_view>

struct Canvas;

// 0x00BBGGRR, the layout of a Windows colour reference.
using Colour = uint32_t;

constexpr Colour Rgb(int red, int green, int blue) {
    return static_cast<Colour>(red & 0xFF) | static_cast<Colour>(green & 0xFF) << 8 |
           static_cast<Colour>(blue & 0xFF) << 16;
}

constexpr Colour BackColour = Rgb(220, 220, 220); // window background and text background
constexpr Colour TextColour = Rgb(20, 20, 20);

enum CanvasFont : int {
    FONT_SYSTEM,    // what a fresh device context has selected
    FONT_OEM_FIXED, // the system's stock OEM fixed-pitch font (code page 437)
    FONT_STATUS,    // StatusFont: OEM fixed pitch, 20 pixels
    FONT_COURIER,   // CourierFont: "COURIER NEW", 17 pixels
    FONT_LARGE,     // LargeFont: default face, 24 pixels
};

enum CanvasAlign : int {
    ALIGN_LEFT_TOP,   // x is the left edge, y the top of the text
    ALIGN_CENTRE_TOP, // x is the horizontal centre, y the top
};

// The main window's drawing surface for the calling thread, or nullptr when there is
// none. Each open is a fresh context; close it on the thread that opened it.
Canvas* CanvasOpenWindow();
// The same for a thread that draws often (the live gauges): the context is taken at the
// thread's first open and kept, closes included, until the thread ends, so that a frame costs
// no request for one. A second open while the first is not closed gets a fresh context.
Canvas* CanvasOpenWindowKept();
void CanvasCloseWindow(Canvas* canvas);
// Drawing off the screen, for a picture that changes while it is watched: a canvas on a bitmap
// that stands for the part left, top, right, bottom of target, in target's coordinates, filled
// with BackColour, with target's font, colours and alignment selected. Closing it puts the bitmap
// on target in one copy, so the screen never shows the picture half drawn. nullptr when the
// system gives no bitmap: the caller then draws on target itself.
Canvas* CanvasOpenOffscreen(Canvas* target, int left, int top, int right, int bottom);
void CanvasCloseOffscreen(Canvas* offscreen);

// Kept layers: bitmaps that keep what was drawn on them from one opening to the next, for a
// picture drawn in parts at different times (the dial's still parts once, its needle over a copy
// of them each frame), so that a frame makes no context, bitmap or font. Each has one user.
enum CanvasLayer : int {
    LAYER_DIAL_STILL,  // the dial's view without its needle, readouts and activity mark
    LAYER_DIAL_NEEDLE, // the needle's square, put together before it goes to the window
    LAYER_CHART,       // the history chart, redrawn whole each time
    CANVAS_LAYER_COUNT,
};
// A canvas on the layer, standing for the part left, top, right, bottom of target's window, in
// the window's coordinates. The layer is made at its first opening and made again when the part
// changes: then it holds BackColour alone and *blank is set; otherwise it holds what was drawn on
// it last, with the font, colours and alignment left selected (the pen and the brush are the
// context's own again). A layer is used by one thread at a time: its user holds a lock of its own
// around the opening and the closing. nullptr when the system gives no bitmap.
Canvas* CanvasOpenLayer(CanvasLayer layer, Canvas* target, int left, int top, int right, int bottom,
                        bool* blank);
void CanvasCloseLayer(Canvas* layer);
// Copies the part left, top, right, bottom (window coordinates) of one canvas to the same place
// on another in one copy: a layer onto the window, or onto another layer.
void CanvasCopy(Canvas* from, Canvas* to, int left, int top, int right, int bottom);
// Whether any of the part would reach the screen: a paint's canvas draws only where the window
// needs painting again, the rest of the screen keeps what it shows.
bool CanvasPartVisible(Canvas* canvas, int left, int top, int right, int bottom);

void CanvasSetPen(Canvas* canvas, int width, Colour colour); // solid pen
void CanvasSetBrush(Canvas* canvas, Colour colour);          // solid brush
void CanvasRestoreObjects(Canvas* canvas);
// Each returns what was selected before, so that a caller can put it back.
CanvasFont CanvasSetFont(Canvas* canvas, CanvasFont font);
Colour CanvasSetTextColour(Canvas* canvas, Colour colour);
Colour CanvasSetBackColour(Canvas* canvas, Colour colour);
CanvasAlign CanvasSetTextAlign(Canvas* canvas, CanvasAlign align);

void CanvasMoveTo(Canvas* canvas, int x, int y);
void CanvasLineTo(Canvas* canvas, int x, int y); // with the pen, from the current position
// Outlined with the pen and filled with the brush.
void CanvasEllipse(Canvas* canvas, int left, int top, int right, int bottom);
void CanvasRectangle(Canvas* canvas, int left, int top, int right, int bottom);
// The part of the ellipse in the box from the ray through the start point
// counter-clockwise to the ray through the end point; a full ellipse when they coincide.
void CanvasArc(Canvas* canvas, int left, int top, int right, int bottom, int startX, int startY,
               int endX, int endY);

// Text in the selected font and alignment, the text colour on an opaque background.
void CanvasText(Canvas* canvas, int x, int y, std::string_view text);
// A row of code page 437 block cells from its top-left corner, each 8 by 12 pixels:
// 0xDB a full block, 0xDF the upper half block, anything else blank. Ink is the text
// colour, blank is the background colour, exactly as the OEM fixed font shows them.
void CanvasBlockText(Canvas* canvas, int x, int y, std::string_view cells);
constexpr int BLOCK_CELL_WIDTH = 8;
constexpr int BLOCK_CELL_HEIGHT = 12;

int CanvasTextWidth(Canvas* canvas, std::string_view text); // in the selected font
// The selected font's cell height and average character width.
void CanvasTextMetrics(Canvas* canvas, int* height, int* averageWidth);
// The client area of the window the canvas draws into.
void CanvasClientSize(Canvas* canvas, int* width, int* height);
