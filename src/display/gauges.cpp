// The AFR and Lambda view. The paint handler draws all of it; after each good live frame only
// the readout digits that changed are redrawn, the needle is moved within its square of the dial
// and the activity mark turns, so that a frame costs a few drawing calls and never a repaint: the
// dial's still parts are drawn once into a kept layer, and each move of the needle is that
// layer's part under it with the needle drawn over, put on the window in one copy.
#include "display/gauges.h"

#include "display/live_decode.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "settings/config.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string_view>

std::array<Spoke, SPOKE_COUNT> SpokeTable;

namespace {

constexpr DigitGlyph MakeGlyph(std::array<std::string_view, GLYPH_ROWS> pattern) {
    DigitGlyph glyph{};
    glyph.width = static_cast<int>(pattern[0].size());
    for (int row = 0; row < GLYPH_ROWS; row++)
        for (size_t cell = 0; cell < pattern[row].size(); cell++) {
            char mark = pattern[row][cell];
            glyph.rows[row][cell] = mark == '#'   ? static_cast<char>(0xDB)
                                    : mark == '^' ? static_cast<char>(0xDF)
                                                  : ' ';
        }
    return glyph;
}

} // namespace

// '#' full block, '^' upper half block, '.' blank.
const std::array<DigitGlyph, 12> DigitGlyphs = {
    MakeGlyph({"#######", "##...##", "##...##", "##...##", "##...##", "##...##", "#######"}),
    MakeGlyph({"..###..", "...##..", "...##..", "...##..", "...##..", "...##..", "..####."}),
    MakeGlyph({"#######", ".....##", ".....##", "#######", "##.....", "##.....", "#######"}),
    MakeGlyph({"#######", ".....##", ".....##", ".######", ".....##", ".....##", "#######"}),
    MakeGlyph({"##.....", "##..##.", "##..##.", "#######", "....##.", "....##.", "....##."}),
    MakeGlyph({"#######", "##.....", "##.....", "#######", ".....##", ".....##", "#######"}),
    MakeGlyph({"#######", "##.....", "##.....", "#######", "##...##", "##...##", "#######"}),
    MakeGlyph({"#######", "^....##", ".....##", ".....##", ".....##", ".....##", ".....##"}),
    MakeGlyph({"#######", "##...##", "##...##", "#######", "##...##", "##...##", "#######"}),
    MakeGlyph({"#######", "##...##", "##...##", "#######", ".....##", ".....##", ".....##"}),
    MakeGlyph({"....", "....", "....", "....", "....", "....", ".##."}),
    MakeGlyph({".......", ".......", ".......", ".#####.", ".......", ".......", "......."}),
};

namespace {

constexpr Colour TickColour = Rgb(0, 0, 0);
constexpr Colour RichColour = Rgb(235, 230, 80);
constexpr Colour LeanColour = Rgb(70, 104, 245);
constexpr Colour StoichColour = Rgb(20, 220, 10);
constexpr Colour IdleSpokeColour = Rgb(250, 250, 250);

constexpr double RADIANS_PER_DEGREE = 0.017453292519943278;

// The dial: bounding box, centre and the radii of its parts.
constexpr int DIAL_LEFT = 236, DIAL_TOP = 90, DIAL_RIGHT = 556, DIAL_BOTTOM = 410;
constexpr int DIAL_X = 396, DIAL_Y = 250;
constexpr int DIAL_RADIUS = 160;
constexpr int ARC_INSET = 5; // the coloured arcs run on radius 155
constexpr double NEEDLE_LENGTH = 140.8;
constexpr int HUB_RADIUS = 5;
constexpr int NEEDLE_REACH = 144; // the needle's tip at any angle, its pen's width included
// The needle's 5-pixel pen reaches up to 3 pixels beyond the points it joins, and the hub's
// outline beyond its box; a move's square is this much wider, a pixel to spare.
constexpr int NEEDLE_MARGIN = 4;
constexpr double LABEL_RADIUS = 188;
constexpr int LABEL_LIFT = 6;
constexpr double SCALE_START = 44; // degrees; the scale sweeps 272 degrees to 316
constexpr double SCALE_SWEEP = 272;
constexpr double MAJOR_TICKS_PER_LAMBDA = 25; // a major tick and a label every 0.04
constexpr int SPOKE_X = 740, SPOKE_Y = 40;
constexpr double SPOKE_OUTER = 18, SPOKE_INNER = 8;
constexpr int READOUT_BOTTOM = READOUT_TOP + GLYPH_ROWS * BLOCK_CELL_HEIGHT;

struct Point {
    int x;
    int y;
    bool operator==(const Point&) const = default;
};

// A part of the window: left and top inside, right and bottom just outside.
struct Box {
    int left, top, right, bottom;
};
// Everything the needle may cover, the hub included.
constexpr Box NEEDLE_SQUARE = {DIAL_X - NEEDLE_REACH, DIAL_Y - NEEDLE_REACH,
                               DIAL_X + NEEDLE_REACH + 1, DIAL_Y + NEEDLE_REACH + 1};
constexpr Point HUB = {DIAL_X, DIAL_Y};

// Dial angles grow clockwise on the screen from straight down (0) over left (90) and up
// (180) to right (270); coordinates are truncated toward zero.
Point AnglePoint(double centreX, double centreY, double angle, double radius) {
    double t = (360.0 - angle) * RADIANS_PER_DEGREE;
    return {static_cast<int>(centreX + radius * std::sin(t)),
            static_cast<int>(centreY + radius * std::cos(t))};
}

Point DialPoint(double angle, double radius) {
    return AnglePoint(DIAL_X, DIAL_Y, angle, radius);
}

// The one rule from lambda to the dial's angle, for the scale, the band and the needle alike:
// the scale's ends at 44 and 316 degrees, 4.25 degrees per 0.01.
double DialAngle(double lambda) {
    return SCALE_START + (lambda - ScaleMin) / (ScaleMax - ScaleMin) * SCALE_SWEEP;
}

// An arc of the inset circle from one dial angle counter-clockwise to another.
void DrawDialArc(Canvas* canvas, double fromAngle, double toAngle) {
    Point from = DialPoint(fromAngle, DIAL_RADIUS - ARC_INSET);
    Point to = DialPoint(toAngle, DIAL_RADIUS - ARC_INSET);
    CanvasArc(canvas, DIAL_LEFT + ARC_INSET, DIAL_TOP + ARC_INSET, DIAL_RIGHT - ARC_INSET,
              DIAL_BOTTOM - ARC_INSET, from.x, from.y, to.x, to.y);
}

// The settings are only read: a target is clamped into the scale where it is set.
void DrawTargetBand(Canvas* canvas) {
    TargetBand band = DrawnTargetBand(TargetLow.load(std::memory_order_acquire),
                                      TargetHigh.load(std::memory_order_acquire));
    CanvasSetPen(canvas, 10, BandColour);
    DrawDialArc(canvas, DialAngle(band.high), DialAngle(band.low));
}

// count ticks at the lambdas first, first + step ...
void DrawTicks(Canvas* canvas, int count, double first, double step, double innerRadius) {
    for (int k = 0; k < count; k++) {
        double angle = DialAngle(first + k * step);
        Point inner = DialPoint(angle, innerRadius);
        Point outer = DialPoint(angle, DIAL_RADIUS);
        CanvasMoveTo(canvas, inner.x, inner.y);
        CanvasLineTo(canvas, outer.x, outer.y);
    }
}

void DrawScale(Canvas* canvas) {
    const int majors = static_cast<int>((ScaleMax - ScaleMin) * MAJOR_TICKS_PER_LAMBDA + 1);
    const double spacing = (ScaleMax - ScaleMin) / (majors - 1);
    CanvasSetPen(canvas, 3, TickColour);
    DrawTicks(canvas, majors, ScaleMin, spacing, 146);
    CanvasSetPen(canvas, 2, TickColour);
    DrawTicks(canvas, majors - 1, ScaleMin + spacing / 2, spacing, 148);
    CanvasSetPen(canvas, 1, OutlineColour);
    DrawTicks(canvas, 4 * majors - 4, ScaleMin, spacing / 4, 150);

    CanvasAlign previousAlign = CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    for (int k = 0; k < majors; k++) {
        double value = ScaleMin + k * spacing;
        char label[16];
        std::snprintf(label, sizeof label, "%3.2f", value);
        Point at = DialPoint(DialAngle(value), LABEL_RADIUS);
        CanvasText(canvas, at.x, at.y - LABEL_LIFT, label);
    }
    CanvasSetTextAlign(canvas, previousAlign);
}

// What the window shows of the view, as its drawing left it; the paint (main thread) and the
// live drawing (the decoding thread) take turns on it and on the kept layers under DialLock.
std::mutex DialLock;
// The needle's tip as drawn last (the hub: no needle); not known after a paint, which may have
// reached the screen in part only.
Point NeedleTip = HUB;
bool NeedleKnown = false;
// The still layer holds the dial as the settings are now (a paint draws it afresh).
bool StillCurrent = false;

constexpr int32_t NOT_DRAWN = -1; // a cell whose glyph on the screen is not known
struct Readout {
    std::array<int, 3> digitX;
    int pointX;
    int pointAfter;               // index of the digit that the point follows
    std::array<int32_t, 3> drawn; // a digit, GLYPH_DASH or NOT_DRAWN per cell
};
Readout LambdaReadout{{480, 580, 660}, 540, 0, {NOT_DRAWN, NOT_DRAWN, NOT_DRAWN}}; // d.dd
Readout AfrReadout{{80, 160, 260}, 220, 1, {NOT_DRAWN, NOT_DRAWN, NOT_DRAWN}};     // dd.d

void DrawGlyph(Canvas* canvas, int x, const DigitGlyph& glyph) {
    for (int row = 0; row < GLYPH_ROWS; row++)
        CanvasBlockText(canvas, x, READOUT_TOP + row * BLOCK_CELL_HEIGHT,
                        std::string_view(glyph.rows[row].data(), glyph.width));
}

// The glyph of each cell: a digit of the value, or the dash for all three; the point where it
// belongs when drawing == READOUT_WHOLE, and otherwise only the cells that differ from the record.
void DrawCells(Canvas* canvas, Readout& readout, const std::array<int32_t, 3>& cells, int drawing) {
    for (int k = 0; k < 3; k++) {
        if (drawing == READOUT_WHOLE || cells[k] != readout.drawn[k]) {
            DrawGlyph(canvas, readout.digitX[k], DigitGlyphs[cells[k]]);
            if (drawing == READOUT_WHOLE && k == readout.pointAfter)
                DrawGlyph(canvas, readout.pointX, DigitGlyphs[GLYPH_POINT]);
        }
        readout.drawn[k] = cells[k];
    }
}

void DrawReadout(Canvas* canvas, Readout& readout, int32_t value, int drawing) {
    // Three digits from the value taken as unsigned; what does not fit shows as nines.
    uint32_t whole = static_cast<uint32_t>(value);
    uint32_t first = std::min(whole / 100, 9u);
    uint32_t second = std::min((whole - first * 100) / 10, 9u);
    uint32_t third = std::min(whole - (first * 10 + second) * 10, 9u);
    DrawCells(
        canvas, readout,
        {static_cast<int32_t>(first), static_cast<int32_t>(second), static_cast<int32_t>(third)},
        drawing);
}

void DrawReadoutDashes(Canvas* canvas, Readout& readout, int drawing) {
    DrawCells(canvas, readout, {GLYPH_DASH, GLYPH_DASH, GLYPH_DASH}, drawing);
}

// The activity mark: its current spoke, the good frames counted since it last moved and the spoke
// it was drawn dark on last (which an idle repaint left idle).
int CurrentSpoke;
int SpokeFrameCount;
int DrawnSpoke;

void DrawSpoke(Canvas* canvas, const Spoke& spoke) {
    CanvasMoveTo(canvas, spoke.innerX, spoke.innerY);
    CanvasLineTo(canvas, spoke.outerX, spoke.outerY);
}

Point NeedleTipAt(int32_t lambdaX100) {
    double lambda = ClampToScale(static_cast<uint32_t>(lambdaX100) * 0.01);
    return DialPoint(DialAngle(lambda), NEEDLE_LENGTH);
}

// Over-draws the needle as last drawn in the face colour, then draws it to tip with the hub.
void DrawNeedleTo(Canvas* canvas, Point tip) {
    CanvasSetPen(canvas, 5, DialFaceColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    CanvasLineTo(canvas, NeedleTip.x, NeedleTip.y);
    CanvasSetPen(canvas, 5, NeedleColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    CanvasLineTo(canvas, tip.x, tip.y);
    NeedleTip = tip;
    CanvasSetBrush(canvas, NeedleColour);
    CanvasEllipse(canvas, DIAL_X - HUB_RADIUS, DIAL_Y - HUB_RADIUS, DIAL_X + HUB_RADIUS,
                  DIAL_Y + HUB_RADIUS);
    CanvasRestoreObjects(canvas);
}

// The needle and its hub over-drawn in the face colour, where no layer can take them off.
void EraseNeedle(Canvas* canvas) {
    CanvasSetPen(canvas, 5, DialFaceColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    CanvasLineTo(canvas, NeedleTip.x, NeedleTip.y);
    CanvasSetBrush(canvas, DialFaceColour);
    CanvasEllipse(canvas, DIAL_X - HUB_RADIUS, DIAL_Y - HUB_RADIUS, DIAL_X + HUB_RADIUS,
                  DIAL_Y + HUB_RADIUS);
    CanvasRestoreObjects(canvas);
}

// What a move of the needle from one tip to another covers, the hub included.
Box NeedleBox(Point from, Point to) {
    return {
        std::max(std::min({DIAL_X - HUB_RADIUS, from.x, to.x}) - NEEDLE_MARGIN, NEEDLE_SQUARE.left),
        std::max(std::min({DIAL_Y - HUB_RADIUS, from.y, to.y}) - NEEDLE_MARGIN, NEEDLE_SQUARE.top),
        std::min(std::max({DIAL_X + HUB_RADIUS, from.x, to.x}) + NEEDLE_MARGIN,
                 NEEDLE_SQUARE.right),
        std::min(std::max({DIAL_Y + HUB_RADIUS, from.y, to.y}) + NEEDLE_MARGIN,
                 NEEDLE_SQUARE.bottom)};
}

// The still layer: everything of the view above the readouts but the needle and the activity
// mark, drawn as the paint draws the dial (the scale's figures in StatusFont). Drawn again when
// the layer was lost or a paint asked for it.
Canvas* OpenStillLayer(Canvas* window) {
    bool blank = false;
    Canvas* still =
        CanvasOpenLayer(LAYER_DIAL_STILL, window, 0, 0, ClientWidth, READOUT_TOP, &blank);
    if (still != nullptr && (blank || !StillCurrent)) {
        CanvasSetFont(still, FONT_STATUS);
        CanvasSetTextColour(still, ViewTextColour);
        CanvasSetBackColour(still, BackColour);
        DrawDial(still);
        StillCurrent = true;
    }
    return still;
}

void CopyBox(Canvas* from, Canvas* to, Box box) {
    CanvasCopy(from, to, box.left, box.top, box.right, box.bottom);
}

// The needle moved to LambdaX100 in one copy: the still square under its old and new place on the
// needle's layer, the needle's calls over it, the result put on the window.
void MoveNeedle(Canvas* window) {
    Point tip = NeedleTipAt(LambdaX100.load(std::memory_order_acquire));
    if (NeedleKnown && tip == NeedleTip)
        return;
    Box box = NeedleKnown ? NeedleBox(NeedleTip, tip) : NEEDLE_SQUARE;
    bool blank = false;
    Canvas* still = OpenStillLayer(window);
    Canvas* square =
        still == nullptr
            ? nullptr
            : CanvasOpenLayer(LAYER_DIAL_NEEDLE, window, NEEDLE_SQUARE.left, NEEDLE_SQUARE.top,
                              NEEDLE_SQUARE.right, NEEDLE_SQUARE.bottom, &blank);
    if (square == nullptr) {
        CanvasCloseLayer(still);
        DrawNeedleTo(window, tip);
    } else {
        CopyBox(still, square, box);
        CanvasCloseLayer(still);
        DrawNeedleTo(square, tip);
        CopyBox(square, window, box);
        CanvasCloseLayer(square);
    }
    NeedleKnown = true;
}

void TakeNeedleOff(Canvas* window) {
    if (NeedleKnown && NeedleTip == HUB)
        return;
    Canvas* still = OpenStillLayer(window);
    if (still != nullptr) {
        CopyBox(still, window, NEEDLE_SQUARE);
        CanvasCloseLayer(still);
    } else {
        EraseNeedle(window);
    }
    NeedleTip = HUB;
    NeedleKnown = true;
}

void AdvanceMark(Canvas* canvas) {
    if (DrawnSpoke == CurrentSpoke)
        return;
    CanvasSetPen(canvas, 2, IdleSpokeColour);
    DrawSpoke(canvas, SpokeTable[DrawnSpoke]);
    CanvasSetPen(canvas, 2, TextColour);
    DrawSpoke(canvas, SpokeTable[CurrentSpoke]);
    CanvasRestoreObjects(canvas);
    DrawnSpoke = CurrentSpoke;
}

void SelectReadoutText(Canvas* canvas) {
    CanvasSetTextColour(canvas, ViewTextColour);
    CanvasSetBackColour(canvas, BackColour);
    CanvasSetFont(canvas, FONT_OEM_FIXED);
}

void ShowStale(Canvas* canvas) {
    SelectReadoutText(canvas);
    DrawReadoutDashes(canvas, LambdaReadout, READOUT_CHANGED_DIGITS);
    DrawReadoutDashes(canvas, AfrReadout, READOUT_CHANGED_DIGITS);
    CanvasSetTextColour(canvas, TextColour);
    TakeNeedleOff(canvas);
}

} // namespace

void ResetGauges() {
    std::lock_guard<std::mutex> hold(DialLock);
    for (int k = 0; k < SPOKE_COUNT; k++) {
        double angle = 1 + 30 * k;
        Point outer = AnglePoint(SPOKE_X, SPOKE_Y, angle, SPOKE_OUTER);
        Point inner = AnglePoint(SPOKE_X, SPOKE_Y, angle, SPOKE_INNER);
        SpokeTable[k] = {outer.x, outer.y, inner.x, inner.y};
    }
    NeedleTip = HUB;
    NeedleKnown = false;
    StillCurrent = false;
    for (Readout* readout : {&LambdaReadout, &AfrReadout})
        readout->drawn.fill(NOT_DRAWN);
    CurrentSpoke = 0;
    SpokeFrameCount = 4;
    DrawnSpoke = 0;
}

void DrawDial(Canvas* canvas) {
    constexpr std::string_view TITLE = "AFR and Lambda";
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_LARGE);
    CanvasText(canvas, ClientWidth / 2 - CanvasTextWidth(canvas, TITLE) / 2, 10, TITLE);
    CanvasSetFont(canvas, previousFont);

    CanvasSetPen(canvas, 2, OutlineColour);
    CanvasSetBrush(canvas, DialFaceColour);
    CanvasEllipse(canvas, DIAL_LEFT, DIAL_TOP, DIAL_RIGHT, DIAL_BOTTOM);

    CanvasSetPen(canvas, 10, RichColour);
    DrawDialArc(canvas, 180, 45);
    CanvasSetPen(canvas, 10, LeanColour);
    DrawDialArc(canvas, 315, 180);
    CanvasSetPen(canvas, 10, StoichColour);
    DrawDialArc(canvas, 185, 175);
    DrawTargetBand(canvas);

    CanvasSetPen(canvas, 2, OutlineColour);
    Point bottom = DialPoint(0, DIAL_RADIUS);
    CanvasArc(canvas, DIAL_LEFT, DIAL_TOP, DIAL_RIGHT, DIAL_BOTTOM, bottom.x, bottom.y, bottom.x,
              bottom.y);

    DrawScale(canvas);

    constexpr std::string_view CAPTION = "LAMBDA";
    CanvasSetBackColour(canvas, DialFaceColour);
    CanvasText(canvas, DIAL_X - static_cast<int>(CAPTION.size() / 2) * CharWidth, 346, CAPTION);
    CanvasSetBackColour(canvas, BackColour);
    CanvasText(canvas, 110, 408, "AFR");
    CanvasText(canvas, 646, 408, "Lambda");
    CanvasRestoreObjects(canvas);
}

void DrawNeedle(Canvas* canvas) {
    std::lock_guard<std::mutex> hold(DialLock);
    DrawNeedleTo(canvas, NeedleTipAt(LambdaX100.load(std::memory_order_acquire)));
}

void DrawLambdaReadout(Canvas* canvas, int drawing) {
    std::lock_guard<std::mutex> hold(DialLock);
    DrawReadout(canvas, LambdaReadout, LambdaX100.load(std::memory_order_acquire), drawing);
}

void DrawAfrReadout(Canvas* canvas, int drawing) {
    std::lock_guard<std::mutex> hold(DialLock);
    DrawReadout(canvas, AfrReadout, AfrX10.load(std::memory_order_acquire), drawing);
}

void DrawSpokes(Canvas* canvas) {
    CanvasSetPen(canvas, 2, IdleSpokeColour);
    for (const Spoke& spoke : SpokeTable)
        DrawSpoke(canvas, spoke);
    CanvasRestoreObjects(canvas);
}

void CountActivityFrame() {
    std::lock_guard<std::mutex> hold(DialLock);
    if (++SpokeFrameCount < 4)
        return;
    SpokeFrameCount = 0;
    CurrentSpoke = (CurrentSpoke + 1) % SPOKE_COUNT;
}

void AdvanceActivityIndicator(Canvas* canvas) {
    std::lock_guard<std::mutex> hold(DialLock);
    AdvanceMark(canvas);
}

void PaintAfrLambdaView(Canvas* canvas) {
    if (!CanvasPartVisible(canvas, 0, 0, ClientWidth, READOUT_BOTTOM))
        return; // the status line alone: the view's record stays true
    std::lock_guard<std::mutex> hold(DialLock);
    StillCurrent = false;
    Canvas* still = OpenStillLayer(canvas);
    if (still != nullptr) {
        CopyBox(still, canvas, {0, 0, ClientWidth, READOUT_TOP});
        CanvasCloseLayer(still);
    } else {
        CanvasSetTextColour(canvas, ViewTextColour);
        CanvasSetBackColour(canvas, BackColour);
        DrawDial(canvas);
    }
    DrawSpokes(canvas);
    SelectReadoutText(canvas);
    NeedleKnown = false;
    if (LiveValuesStale()) {
        DrawReadoutDashes(canvas, LambdaReadout, READOUT_WHOLE);
        DrawReadoutDashes(canvas, AfrReadout, READOUT_WHOLE);
        NeedleTip = HUB; // the still parts just drawn have no needle
    } else {
        DrawReadout(canvas, LambdaReadout, LambdaX100.load(std::memory_order_acquire),
                    READOUT_WHOLE);
        DrawReadout(canvas, AfrReadout, AfrX10.load(std::memory_order_acquire), READOUT_WHOLE);
        MoveNeedle(canvas);
    }
    CanvasSetTextColour(canvas, TextColour);
    // The paint may have reached the screen in part only (the system clips it to what needs
    // painting): beside it the screen keeps what the live drawing put there, which may be dashes
    // where the paint drew digits. The next live drawing draws every cell and the whole square.
    LambdaReadout.drawn.fill(NOT_DRAWN);
    AfrReadout.drawn.fill(NOT_DRAWN);
    NeedleKnown = false;
}

void UpdateLiveGauges(Canvas* canvas) {
    std::lock_guard<std::mutex> hold(DialLock);
    AdvanceMark(canvas);
    if (LiveValuesStale()) {
        ShowStale(canvas);
        return;
    }
    SelectReadoutText(canvas);
    DrawReadout(canvas, LambdaReadout, LambdaX100.load(std::memory_order_acquire),
                READOUT_CHANGED_DIGITS);
    DrawReadout(canvas, AfrReadout, AfrX10.load(std::memory_order_acquire), READOUT_CHANGED_DIGITS);
    CanvasSetTextColour(canvas, TextColour);
    MoveNeedle(canvas);
}

void ShowStaleGauges(Canvas* canvas) {
    std::lock_guard<std::mutex> hold(DialLock);
    ShowStale(canvas);
}
