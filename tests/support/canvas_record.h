// The recording canvas of the native tests: every drawing call is kept with its parameters
// and the selections of its context, so tests can check the exact geometry of a drawing.
#pragma once

#include "display/canvas.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

// Selecting pens, brushes, colours and alignment is not a call of its own: it shows in the state
// of the calls after it. A font is, when it changes what the context has selected (as on GDI,
// where each selection costs a lookup of the font).
enum class CanvasOp {
    CLOSE,      // CanvasCloseWindow
    MOVE_TO,    // x, y
    LINE_TO,    // from x, from y, to x, to y
    ELLIPSE,    // left, top, right, bottom
    RECTANGLE,  // left, top, right, bottom
    ARC,        // left, top, right, bottom, start x, start y, end x, end y
    TEXT,       // x, y; text
    BLOCK_TEXT, // x, y; cells
    COPY,       // left, top, right, bottom: an off-screen canvas or a layer put on this one
    LAYER,      // left, top, right, bottom, 1 when its bitmap was made, the CanvasLayer: opened
    FONT,       // the CanvasFont selected
};

// A context's selections; a fresh context has a black pen, a white brush, the system font,
// black text on white and left-top alignment.
struct CanvasState {
    Colour penColour = Rgb(0, 0, 0);
    int penWidth = 1;
    Colour brushColour = Rgb(255, 255, 255);
    CanvasFont font = FONT_SYSTEM;
    Colour textColour = Rgb(0, 0, 0);
    Colour backColour = Rgb(255, 255, 255);
    CanvasAlign align = ALIGN_LEFT_TOP;
    int x = 0, y = 0;                         // current position
    std::array<int, 4> shown{-1, -1, -1, -1}; // a paint's part of the screen; left -1: all of it
};

struct CanvasCall {
    CanvasOp op;
    int canvas;              // which context: 1 for the first one opened, and so on
    std::array<int, 8> args; // as listed at CanvasOp, the rest 0
    std::string text;        // TEXT and BLOCK_TEXT
    CanvasState state;       // the context as the call found it
};

// A canvas on the window such as a paint gets: its drawing reaches the screen only in the part
// left, top, right, bottom (CanvasPartVisible; its calls' state.shown).
Canvas* CanvasOpenPaint(int left, int top, int right, int bottom);

extern std::vector<CanvasCall> CanvasCalls;

// Forgets every call, closes every context, forgets the layers and the contexts kept.
void ClearCanvasCalls();
// The recorded calls of one kind, in order.
std::vector<CanvasCall> CanvasCallsOf(CanvasOp op);
