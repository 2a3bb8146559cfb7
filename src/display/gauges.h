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
// readout digits and the dial's kept picture and sets the activity mark to its first spoke
// (start-up and tests).
void ResetGauges();

// The static dial, the title and the captions, with the target band of the settings (clamped
// into the scale and put in order for drawing only).
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
// Counts a good frame: on every fourth (the first included) the activity mark moves on by one
// spoke, drawn by the next AdvanceActivityIndicator.
void CountActivityFrame();
// The mark's move since its last drawing: the spoke it darkened last back in the idle colour,
// the current one dark.
void AdvanceActivityIndicator(Canvas* canvas);

// The drawing functions below draw only on the canvas they are given; which thread draws and
// when is the front end's. The paint and the live drawing may run on two threads at once: they
// take turns, and each leaves the record of what the window shows true.

// The whole view, as the paint handler draws it after the status line; while the values are
// stale (display/live_stream.h) the readouts show dashes and the needle is not drawn. The dial's
// still parts are drawn afresh into their kept layer (the band may have changed) and copied.
// A paint may reach the screen only in part, so the next live drawing draws every digit and the
// needle's whole square again; a paint that reaches none of the view draws nothing.
void PaintAfrLambdaView(Canvas* canvas);
// What changed since the last drawing of the view, on canvas: the activity mark's move, the
// readout digits that changed and the needle where it moved (or, while the values are stale,
// ShowStaleGauges). The needle's square of the dial is put together on a kept layer from the
// still parts and the needle's calls, and copied to canvas at once: no moment shows the dial
// without it, and no context, bitmap or font is made or selected for it. The Windows utility
// calls it after each good frame; a front end that draws in paint events may call it from one.
void UpdateLiveGauges(Canvas* canvas);
// Dashes in every readout cell that does not show one, the needle and its hub taken off the
// dial; the next good frame draws them all again.
void ShowStaleGauges(Canvas* canvas);
