// The AFR and Lambda view. The paint handler draws all of it; after each good live frame
// the decoding thread redraws only the readout digits that changed, moves the needle by
// over-drawing the old one in the face colour, and turns the activity mark, so that a
// frame costs a few drawing calls on the window and never a repaint of it: the needle's are
// made off the screen over the dial drawn again, and the result copied at once.
#include "display/gauges.h"

#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "settings/config.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
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
constexpr int NEEDLE_REACH = 144; // the needle's tip at any angle, its pen's width included
constexpr double LABEL_RADIUS = 188;
constexpr int LABEL_LIFT = 6;
constexpr double SCALE_START = 44; // degrees; the scale sweeps 272 degrees to 316
constexpr double SCALE_SWEEP = 272;
constexpr int SPOKE_X = 740, SPOKE_Y = 40;
constexpr double SPOKE_OUTER = 18, SPOKE_INNER = 8;

struct Point {
    int x;
    int y;
};

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

// An arc of the inset circle from one dial angle counter-clockwise to another.
void DrawDialArc(Canvas* canvas, double fromAngle, double toAngle) {
    Point from = DialPoint(fromAngle, DIAL_RADIUS - ARC_INSET);
    Point to = DialPoint(toAngle, DIAL_RADIUS - ARC_INSET);
    CanvasArc(canvas, DIAL_LEFT + ARC_INSET, DIAL_TOP + ARC_INSET, DIAL_RIGHT - ARC_INSET,
              DIAL_BOTTOM - ARC_INSET, from.x, from.y, to.x, to.y);
}

void DrawTargetBand(Canvas* canvas) {
    double setLow = TargetLow.load(std::memory_order_acquire);
    double setHigh = TargetHigh.load(std::memory_order_acquire);
    double low = ClampToScale(setLow);
    double high = ClampToScale(setHigh);
    // Written back on purpose: a target outside the scale stays at the scale's end from the first
    // drawing on, in the Preferences and in the file alike. Only a value the clamp moved: the
    // display thread draws the dial too, and must not put back one the Preferences just replaced.
    // Exchanged, not stored: a value the Preferences store meanwhile is kept.
    if (low != setLow)
        TargetLow.compare_exchange_strong(setLow, low, std::memory_order_acq_rel);
    if (high != setHigh)
        TargetHigh.compare_exchange_strong(setHigh, high, std::memory_order_acq_rel);
    TargetBand band = DrawnTargetBand(low, high);
    const int hundredths = static_cast<int>((ScaleMax - ScaleMin) * 100 + 1) - 1;
    const double degreesPerHundredth = SCALE_SWEEP / hundredths;
    auto angle = [&](double v) { return degreesPerHundredth * (v - ScaleMin) * 100 + SCALE_START; };
    CanvasSetPen(canvas, 10, BandColour);
    DrawDialArc(canvas, angle(band.high), angle(band.low));
}

void DrawTicks(Canvas* canvas, int count, double firstAngle, double step, double innerRadius) {
    double angle = firstAngle;
    for (int k = 0; k < count; k++) {
        Point inner = DialPoint(angle, innerRadius);
        Point outer = DialPoint(angle, DIAL_RADIUS);
        CanvasMoveTo(canvas, inner.x, inner.y);
        CanvasLineTo(canvas, outer.x, outer.y);
        angle += step;
    }
}

void DrawScale(Canvas* canvas) {
    const int majors = static_cast<int>((ScaleMax - ScaleMin) * 25 + 1);
    const double step = SCALE_SWEEP / (majors - 1);
    CanvasSetPen(canvas, 3, TickColour);
    DrawTicks(canvas, majors, SCALE_START, step, 146);
    CanvasSetPen(canvas, 2, TickColour);
    DrawTicks(canvas, majors - 1, SCALE_START + step / 2, step, 148);
    CanvasSetPen(canvas, 1, OutlineColour);
    DrawTicks(canvas, 4 * majors - 4, SCALE_START, step / 4, 150);

    CanvasAlign previousAlign = CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    double value = ScaleMin;
    double angle = SCALE_START;
    for (int k = 0; k < majors; k++) {
        char label[16];
        std::snprintf(label, sizeof label, "%3.2f", value);
        Point at = DialPoint(angle, LABEL_RADIUS);
        CanvasText(canvas, at.x, at.y - LABEL_LIFT, label);
        value += (ScaleMax - ScaleMin) / (majors - 1);
        angle += step;
    }
    CanvasSetTextAlign(canvas, previousAlign);
}

// The needle tip as last drawn and the readout digits as last drawn (-1: none yet),
// shared by the paint handler and the decoding thread. The tip is one word, x above y: read
// as two, an erase could go to a new x with an old y, a point the needle never had.
uint64_t PackTip(Point tip) {
    return uint64_t{static_cast<uint32_t>(tip.x)} << 32 | static_cast<uint32_t>(tip.y);
}

Point UnpackTip(uint64_t tip) {
    return {static_cast<int32_t>(static_cast<uint32_t>(tip >> 32)),
            static_cast<int32_t>(static_cast<uint32_t>(tip))};
}

std::atomic<uint64_t> NeedleTip{PackTip({DIAL_X, DIAL_Y})};

struct Readout {
    std::array<int, 3> digitX;
    int pointX;
    int pointAfter; // index of the digit that the point follows
    std::array<std::atomic<int32_t>, 3> drawn;
};
Readout LambdaReadout{{480, 580, 660}, 540, 0, {-1, -1, -1}}; // d.dd
Readout AfrReadout{{80, 160, 260}, 220, 1, {-1, -1, -1}};     // dd.d

void DrawGlyph(Canvas* canvas, int x, const DigitGlyph& glyph) {
    for (int row = 0; row < GLYPH_ROWS; row++)
        CanvasBlockText(canvas, x, READOUT_TOP + row * BLOCK_CELL_HEIGHT,
                        std::string_view(glyph.rows[row].data(), glyph.width));
}

void DrawReadout(Canvas* canvas, Readout& readout, int32_t value, int drawing) {
    // Three digits from the value taken as unsigned; what does not fit shows as nines.
    uint32_t whole = static_cast<uint32_t>(value);
    std::array<uint32_t, 3> digits{};
    digits[0] = std::min(whole / 100, 9u);
    digits[1] = std::min((whole - digits[0] * 100) / 10, 9u);
    digits[2] = std::min(whole - (digits[0] * 10 + digits[1]) * 10, 9u);
    for (int k = 0; k < 3; k++) {
        if (drawing == READOUT_WHOLE ||
            static_cast<int32_t>(digits[k]) != readout.drawn[k].load()) {
            DrawGlyph(canvas, readout.digitX[k], DigitGlyphs[digits[k]]);
            if (drawing == READOUT_WHOLE && k == readout.pointAfter)
                DrawGlyph(canvas, readout.pointX, DigitGlyphs[GLYPH_POINT]);
        }
    }
    for (int k = 0; k < 3; k++)
        readout.drawn[k].store(static_cast<int32_t>(digits[k]), std::memory_order_release);
}

// Dashes where the digits were; each digit is drawn again by the next call with a value.
void DrawReadoutDashes(Canvas* canvas, Readout& readout, int drawing) {
    for (int k = 0; k < 3; k++) {
        if (drawing == READOUT_WHOLE || readout.drawn[k].load() != GLYPH_DASH) {
            DrawGlyph(canvas, readout.digitX[k], DigitGlyphs[GLYPH_DASH]);
            if (drawing == READOUT_WHOLE && k == readout.pointAfter)
                DrawGlyph(canvas, readout.pointX, DigitGlyphs[GLYPH_POINT]);
        }
        readout.drawn[k].store(GLYPH_DASH, std::memory_order_release);
    }
}

// The activity mark: its current spoke and the good frames counted since it last moved.
// Only the decoding thread moves it; ResetGauges sets both before the first frame.
int CurrentSpoke;
int SpokeFrameCount;

void DrawSpoke(Canvas* canvas, const Spoke& spoke) {
    CanvasMoveTo(canvas, spoke.innerX, spoke.innerY);
    CanvasLineTo(canvas, spoke.outerX, spoke.outerY);
}

} // namespace

void ResetGauges() {
    for (int k = 0; k < SPOKE_COUNT; k++) {
        double angle = 1 + 30 * k;
        Point outer = AnglePoint(SPOKE_X, SPOKE_Y, angle, SPOKE_OUTER);
        Point inner = AnglePoint(SPOKE_X, SPOKE_Y, angle, SPOKE_INNER);
        SpokeTable[k] = {outer.x, outer.y, inner.x, inner.y};
    }
    NeedleTip.store(PackTip({DIAL_X, DIAL_Y}));
    for (Readout* readout : {&LambdaReadout, &AfrReadout})
        for (auto& digit : readout->drawn)
            digit.store(-1);
    CurrentSpoke = 0;
    SpokeFrameCount = 4;
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
    CanvasSetPen(canvas, 5, DialFaceColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    Point last = UnpackTip(NeedleTip.load(std::memory_order_acquire));
    CanvasLineTo(canvas, last.x, last.y);

    double lambda = static_cast<uint32_t>(LambdaX100.load(std::memory_order_acquire)) * 0.01;
    lambda = ClampToScale(lambda);
    double angle = (lambda - ScaleMin) / (ScaleMid - ScaleMin) * 136 + SCALE_START;
    Point tip = DialPoint(angle, NEEDLE_LENGTH);
    CanvasSetPen(canvas, 5, NeedleColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    CanvasLineTo(canvas, tip.x, tip.y);
    NeedleTip.store(PackTip(tip), std::memory_order_release);

    CanvasSetBrush(canvas, NeedleColour);
    CanvasEllipse(canvas, DIAL_X - 5, DIAL_Y - 5, DIAL_X + 5, DIAL_Y + 5);
    CanvasRestoreObjects(canvas);
}

namespace {
// The needle and its hub over-drawn in the face colour; the next DrawNeedle starts from the hub.
void EraseNeedle(Canvas* canvas) {
    CanvasSetPen(canvas, 5, DialFaceColour);
    CanvasMoveTo(canvas, DIAL_X, DIAL_Y);
    Point last = UnpackTip(NeedleTip.exchange(PackTip({DIAL_X, DIAL_Y})));
    CanvasLineTo(canvas, last.x, last.y);
    CanvasSetBrush(canvas, DialFaceColour);
    CanvasEllipse(canvas, DIAL_X - 5, DIAL_Y - 5, DIAL_X + 5, DIAL_Y + 5);
    CanvasRestoreObjects(canvas);
}
} // namespace

void DrawLambdaReadout(Canvas* canvas, int drawing) {
    DrawReadout(canvas, LambdaReadout, LambdaX100.load(std::memory_order_acquire), drawing);
}

void DrawAfrReadout(Canvas* canvas, int drawing) {
    DrawReadout(canvas, AfrReadout, AfrX10.load(std::memory_order_acquire), drawing);
}

void DrawSpokes(Canvas* canvas) {
    CanvasSetPen(canvas, 2, IdleSpokeColour);
    for (const Spoke& spoke : SpokeTable)
        DrawSpoke(canvas, spoke);
    CanvasRestoreObjects(canvas);
}

void AdvanceActivityIndicator() {
    if (++SpokeFrameCount < 4)
        return;
    SpokeFrameCount = 0;
    Canvas* canvas = CanvasOpenWindowKept();
    if (canvas == nullptr)
        return;
    CanvasSetPen(canvas, 2, IdleSpokeColour);
    DrawSpoke(canvas, SpokeTable[CurrentSpoke]);
    CurrentSpoke = (CurrentSpoke + 1) % SPOKE_COUNT;
    CanvasSetPen(canvas, 2, TextColour);
    DrawSpoke(canvas, SpokeTable[CurrentSpoke]);
    CanvasRestoreObjects(canvas);
    CanvasCloseWindow(canvas);
}

void PaintAfrLambdaView(Canvas* canvas) {
    DrawSpokes(canvas);
    CanvasSetTextColour(canvas, ViewTextColour);
    CanvasSetBackColour(canvas, BackColour);
    DrawDial(canvas);
    CanvasSetFont(canvas, FONT_OEM_FIXED);
    if (LiveValuesStale()) {
        DrawReadoutDashes(canvas, LambdaReadout, READOUT_WHOLE);
        DrawReadoutDashes(canvas, AfrReadout, READOUT_WHOLE);
        NeedleTip.store(PackTip({DIAL_X, DIAL_Y})); // the face just drawn has no needle
    } else {
        DrawLambdaReadout(canvas, READOUT_WHOLE);
        DrawAfrReadout(canvas, READOUT_WHOLE);
        DrawNeedle(canvas);
    }
    CanvasSetTextColour(canvas, TextColour);
}

namespace {
// The display thread's kept context, set up for the readouts' digits.
Canvas* OpenReadoutCanvas() {
    Canvas* canvas = CanvasOpenWindowKept();
    if (canvas == nullptr)
        return nullptr;
    CanvasSetTextColour(canvas, ViewTextColour);
    CanvasSetBackColour(canvas, BackColour);
    CanvasSetFont(canvas, FONT_OEM_FIXED);
    return canvas;
}
} // namespace

namespace {
// The needle moved in one copy: the dial drawn again off the screen in the square the needle
// sweeps, as the paint draws it (the scale's figures in StatusFont), the needle's own calls over
// it, then the square put on the window at once, so that no moment shows the dial without it.
void MoveNeedleSteadily(Canvas* canvas) {
    Canvas* offscreen = CanvasOpenOffscreen(canvas, DIAL_X - NEEDLE_REACH, DIAL_Y - NEEDLE_REACH,
                                            DIAL_X + NEEDLE_REACH + 1, DIAL_Y + NEEDLE_REACH + 1);
    if (offscreen == nullptr) {
        DrawNeedle(canvas);
        return;
    }
    CanvasSetFont(offscreen, FONT_STATUS);
    DrawDial(offscreen);
    DrawNeedle(offscreen);
    CanvasCloseOffscreen(offscreen);
}
} // namespace

void UpdateLiveGauges() {
    AdvanceActivityIndicator();
    Canvas* canvas = OpenReadoutCanvas();
    if (canvas == nullptr)
        return;
    DrawLambdaReadout(canvas, READOUT_CHANGED_DIGITS);
    DrawAfrReadout(canvas, READOUT_CHANGED_DIGITS);
    MoveNeedleSteadily(canvas);
    CanvasSetTextColour(canvas, TextColour);
    CanvasCloseWindow(canvas);
}

void ShowStaleGauges() {
    // The dashes belong to the dial's view: drawn while another view is shown they would stand
    // in its area until it is painted again.
    if (ViewMode.load(std::memory_order_acquire) != VIEW_AFR_LAMBDA)
        return;
    Canvas* canvas = OpenReadoutCanvas();
    if (canvas == nullptr)
        return;
    DrawReadoutDashes(canvas, LambdaReadout, READOUT_CHANGED_DIGITS);
    DrawReadoutDashes(canvas, AfrReadout, READOUT_CHANGED_DIGITS);
    EraseNeedle(canvas);
    CanvasSetTextColour(canvas, TextColour);
    CanvasCloseWindow(canvas);
}
