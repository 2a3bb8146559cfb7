// The AFR and Lambda view: the lambda dial with its scale, coloured arcs, target band and
// needle, the two block-digit readouts, and the activity mark that turns while good live
// frames arrive. All positions are fixed pixels of the main window's client area.
#pragma once

#include "display/canvas.h"
#include "display/lambda_scale.h"

#include <array>
#include <cstdint>

// One spoke of the activity mark, as drawn: from the inner point to the outer point.
struct Spoke {
    int32_t outerX;
    int32_t outerY;
    int32_t innerX;
    int32_t innerY;
};
constexpr int SPOKE_COUNT = 12;
extern std::array<Spoke, SPOKE_COUNT> SpokeTable;

// The readout digits as rows of code page 437 block cells (0xDB full, 0xDF upper half,
// blank): 7 rows of 7 cells for the digits 0 to 9, 7 rows of 4 cells for the point.
constexpr int GLYPH_ROWS = 7;
constexpr int GLYPH_POINT = 10;
constexpr int GLYPH_DASH = 11; // in place of a digit while the values are stale
struct DigitGlyph {
    std::array<std::array<char, 7>, GLYPH_ROWS> rows;
    int width; // cells used of each row
};
extern const std::array<DigitGlyph, 12> DigitGlyphs;
constexpr int READOUT_TOP = 434; // first glyph row; the rows are 12 pixels apart

// Start values: builds SpokeTable, puts the needle tip at the hub, forgets the drawn
// readout digits and sets the activity mark to its first spoke (start-up and tests).
void ResetGauges();

// The static dial, the title and the captions (paint only). The target band is clamped into
// the scale, and TargetLow and TargetHigh keep the clamped values.
void DrawDial(Canvas* canvas);
// Erases the needle where it was drawn last and draws it at LambdaX100, with the hub.
void DrawNeedle(Canvas* canvas);
// What a readout's drawing covers. The caller selects the OEM fixed font and the text and
// background colours.
enum ReadoutDrawing : int {
    READOUT_CHANGED_DIGITS = 0, // only the digits that changed since the last drawing
    READOUT_WHOLE = 1,          // every digit and the point
};
void DrawLambdaReadout(Canvas* canvas, int drawing);
void DrawAfrReadout(Canvas* canvas, int drawing);
// Every spoke of the activity mark in the idle colour.
void DrawSpokes(Canvas* canvas);
// Counts a good frame and, on every fourth (the first included), moves the mark on by one
// spoke, drawing into the main window itself.
void AdvanceActivityIndicator();

// The whole view, as the paint handler draws it after the status line; while the values are
// stale (display/live_stream.h) the readouts show dashes and the needle is not drawn.
void PaintAfrLambdaView(Canvas* canvas);
// The live path after each good frame (a live stream listener): the activity mark, then the
// changed readout digits and the needle, into the main window; the needle's square of the dial is
// drawn off the screen and put on the window in one copy.
void UpdateLiveGauges();
// The live path when the values turn stale (a stale listener): while the dial's view is shown,
// dashes over the digits, the needle and its hub taken off the dial; the next good frame draws
// them all again.
void ShowStaleGauges();
