// The AFR and Lambda view through the recording canvas: the dial at the pixels it is laid out
// on, the needle, the block-digit readouts with their redraw of changed digits only, and the
// activity mark, also as live frames drive them: what one frame costs, and what the screen shows
// after a drop-out and a paint that reached only part of it.
#include "display/gauges.h"
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/canvas_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using Args = std::array<int, 8>;
constexpr Colour FACE = Rgb(235, 235, 235), BAND = Rgb(217, 72, 0), NEEDLE = Rgb(210, 20, 10);
constexpr Args SQUARE = {252, 106, 541, 395}; // 396 +- 144, 250 +- 144: all the needle covers
constexpr Args DIAL = {236, 90, 556, 410};

// The readouts, "AFR lambda": a digit, "_" (dash) or "." per glyph, "-" for a column left alone,
// "?" for rows that are no glyph. Those that the calls from the given one on drew; or on screen,
// each row as drawn last, where a paint's drawing outside its part never arrived. The glyphs are
// told apart by the readout's own table; ReadoutGlyphsAreTheBlockPicturesOfTheirDigits checks
// that table against pictures drawn by hand.
std::string Readouts(size_t from = 0, bool screen = false) {
    std::map<std::pair<int, int>, std::string> cells; // the last by column and row
    for (size_t i = from; i < CanvasCalls.size(); i++) {
        const CanvasCall& row = CanvasCalls[i];
        const std::array<int, 4>& part = row.state.shown;
        if (row.op == CanvasOp::BLOCK_TEXT &&
            (!screen || part[0] < 0 || (row.args[1] >= part[1] && row.args[1] < part[3])))
            cells[{row.args[0], row.args[1]}] = row.text;
    }
    std::string shown;
    for (int x : {80, 160, 220, 260, 0, 480, 540, 580, 660}) {
        std::string rows, want;
        for (int y = 434; y < 434 + 12 * GLYPH_ROWS && cells.contains({x, y}); y += 12)
            rows += cells[{x, y}];
        char glyph = rows.empty() ? '-' : '?';
        for (size_t g = 0; g < DigitGlyphs.size(); g++, want.clear()) {
            for (const auto& cellsOfRow : DigitGlyphs[g].rows)
                want += std::string(cellsOfRow.data(), size_t(DigitGlyphs[g].width));
            glyph = rows == want ? "0123456789._"[g] : glyph;
        }
        shown += x == 0 ? ' ' : glyph;
    }
    return shown;
}

// The lines (from x, from y, to x, to y, pen width) or arcs drawn in one pen colour by the calls
// from the given one on.
std::vector<Args> Drawn(Colour colour, size_t from = 0, CanvasOp op = CanvasOp::LINE_TO) {
    std::vector<Args> lines;
    for (size_t i = from; i < CanvasCalls.size(); i++) {
        CanvasCall line = CanvasCalls[i];
        if (op == CanvasOp::LINE_TO)
            line.args[4] = line.state.penWidth;
        if (line.op == op && line.state.penColour == colour)
            lines.push_back(line.args);
    }
    return lines;
}

// The window as the Windows utility draws the live path: the decoding thread's kept context.
void DrawLiveFrame(const LiveSample&) {
    CountActivityFrame();
    Canvas* canvas = CanvasOpenWindowKept();
    UpdateLiveGauges(canvas);
    CanvasCloseWindow(canvas);
}

void DrawStaleValues() {
    Canvas* canvas = CanvasOpenWindowKept();
    ShowStaleGauges(canvas);
    CanvasCloseWindow(canvas);
}

// A paint of the whole view that reaches the screen in part only: the system clips it to what
// needs painting.
void PaintPart(const Args& part) {
    Canvas* canvas = CanvasOpenPaint(part[0], part[1], part[2], part[3]);
    PaintAfrLambdaView(canvas);
    CanvasCloseWindow(canvas);
}

class GaugeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetGauges();
        ResetLiveState();
        ResetLiveStream();
        ResetLinkState();
        ResetSettings();
        ClientWidth = 794; // the title: 14 characters of 11 pixels centred
        Fresh();
    }
    void TearDown() override {
        ClearCanvasCalls();
        RemoveAllLiveListeners();
    }
    void Fresh() {
        ClearCanvasCalls();
        ASSERT_NE(canvas = CanvasOpenWindow(), nullptr);
    }
    Canvas* canvas = nullptr;
};

TEST_F(GaugeTest, DialArcsLabelsAndTheSortedWidenedClampedBand) {
    DrawDial(canvas);
    const Colour OUTLINE = Rgb(10, 10, 10), BLACK = Rgb(0, 0, 0);
    // The three arcs, then the outline's full circle from the bottom round to it: angle 0 is t just
    // under 2 pi, whose sine is just under 0, so x truncates to 395.
    for (auto [colour, args] :
         {std::pair(Rgb(235, 230, 80), Args{241, 95, 551, 405, 396, 95, 286, 359}),
          {Rgb(70, 104, 245), Args{241, 95, 551, 405, 505, 359, 396, 95}},
          {Rgb(20, 220, 10), Args{241, 95, 551, 405, 409, 95, 382, 95}},
          {OUTLINE, Args{236, 90, 556, 410, 395, 410, 395, 410}}})
        EXPECT_EQ(Drawn(colour, 0, CanvasOp::ARC), std::vector<Args>{args});
    // The pens: the face's outline, the three arcs and the band, the outline's circle.
    std::string pens;
    for (const CanvasCall& call : CanvasCalls)
        if (call.op == CanvasOp::ARC || call.op == CanvasOp::ELLIPSE)
            pens += std::to_string(call.state.penWidth) + " ";
    EXPECT_EQ(pens, "2 10 10 10 10 2 ");
    std::string labels;
    int figures = 0; // 0.68 to 1.32 in steps of 0.04: 17
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT)) {
        labels += call.text + "@" + std::to_string(call.args[0]) + "," +
                  std::to_string(call.args[1]) + " ";
        figures += std::isdigit(static_cast<unsigned char>(call.text[0])) != 0;
    }
    EXPECT_EQ(figures, 17) << labels;
    for (const char* label :
         {"AFR and Lambda@320,10 ", "0.68@265,379 ", "1.00@396,56 ", "1.32@526,379 "})
        EXPECT_NE(labels.find(label), std::string::npos) << labels;
    // The first major tick (3 pixels) from (294, 355) at 44 degrees, then the first mid (2) and
    // minor (1, the outline's colour) ticks.
    EXPECT_EQ(Drawn(BLACK).at(0), (Args{294, 355, 284, 365, 3}));
    EXPECT_EQ(Drawn(BLACK).at(17), (Args{278, 340, 269, 347, 2})) << "the first mid tick";
    EXPECT_EQ(Drawn(OUTLINE).at(0), (Args{291, 357, 284, 365, 1})) << "the first minor tick";
    // Band arcs run from the higher end's angle down to the lower's, 4.25 degrees per 0.01. The
    // settings stay as they are: targets are clamped where they are set, never by a drawing.
    const std::tuple<double, double, int, int, int, int> rows[] = {
        {0.86, 0.88, 275, 152, 262, 171}, // 129 down to 120.5
        {0.90, 0.85, 291, 135, 256, 181}, // 137.5 down to 116.25
        {0.95, 0.95, 345, 103, 334, 107}, // 0.955 down to 0.945
        {0.5, 2.0, 503, 361, 288, 361},   // the whole scale, 316 down to 44
        {std::nan(""), 0.70, 273, 344, 288, 361},
    };
    for (auto [low, high, startX, startY, endX, endY] : rows) {
        SCOPED_TRACE(low);
        Fresh();
        TargetLow = low;
        TargetHigh = high;
        DrawDial(canvas);
        EXPECT_EQ(Drawn(BAND, 0, CanvasOp::ARC),
                  (std::vector<Args>{{241, 95, 551, 405, startX, startY, endX, endY}}));
        EXPECT_EQ(std::bit_cast<uint64_t>(TargetLow.load()), std::bit_cast<uint64_t>(low));
        EXPECT_EQ(std::bit_cast<uint64_t>(TargetHigh.load()), std::bit_cast<uint64_t>(high));
    }
}

// The needle as last drawn (at first the hub itself) erased in the face colour, the needle to its
// tip, then the hub in the box 391, 245, 401, 255, pen and brush the needle's.
TEST_F(GaugeTest, NeedleTipsClampAtTheScaleEndsAndEachDrawErasesTheLastTip) {
    // The value is taken as unsigned: a negative one lands at the lean end.
    const std::tuple<int32_t, int, int> rows[] = {
        {100, 396, 109}, {68, 298, 351}, {0, 298, 351}, {132, 493, 351}, {-5, 493, 351}};
    Args erased = {396, 250, 396, 250, 5}; // nothing drawn yet: the hub itself
    for (auto [lambdaX100, x, y] : rows) {
        SCOPED_TRACE(lambdaX100);
        Fresh();
        LambdaX100 = lambdaX100;
        DrawNeedle(canvas);
        EXPECT_EQ(Drawn(FACE), std::vector<Args>{erased});
        erased = {396, 250, x, y, 5};
        EXPECT_EQ(Drawn(NEEDLE), std::vector<Args>{erased});
        const CanvasCall& hub = CanvasCalls.back();
        EXPECT_TRUE(hub.op == CanvasOp::ELLIPSE && (hub.args == Args{391, 245, 401, 255}) &&
                    hub.state.penColour == NEEDLE && hub.state.penWidth == 5 &&
                    hub.state.brushColour == NEEDLE);
    }
}

TEST_F(GaugeTest, ReadoutsShowLeadingZerosSaturateAndRedrawOnlyChangedDigits) {
    // In order: a full call draws every column, a partial one only the digits that changed.
    const std::tuple<bool, int32_t, int, const char*> rows[] = {
        {true, 147, 1, "14.7 ----"},   {true, 148, 0, "---8 ----"},  {true, 148, 0, "---- ----"},
        {true, 1470, 1, "99.9 ----"},  {true, 5, 1, "00.5 ----"},    {true, -1, 1, "99.9 ----"},
        {false, 100, 1, "---- 1.00"},  {false, 200, 0, "---- 2---"}, {false, 7, 1, "---- 0.07"},
        {false, 1234, 1, "---- 9.99"}, {false, 1299, 0, "---- ----"}};
    for (auto [afr, value, full, shown] : rows) {
        SCOPED_TRACE(std::to_string(value) + (afr ? " AFR" : " lambda"));
        Fresh();
        (afr ? AfrX10 : LambdaX100) = value;
        (afr ? DrawAfrReadout : DrawLambdaReadout)(canvas, full);
        EXPECT_EQ(Readouts(), shown);
    }
}

// "14.7" drawn whole, glyph after glyph, each in 7 rows of cells: # full block, ^ upper half
// block, . blank.
TEST_F(GaugeTest, ReadoutGlyphsAreTheBlockPicturesOfTheirDigits) {
    AfrX10 = 147;
    DrawAfrReadout(canvas, 1);
    std::string drawn;
    for (CanvasCall row : CanvasCallsOf(CanvasOp::BLOCK_TEXT)) {
        for (char& c : row.text)
            c = c == '\xDB' ? '#' : c == '\xDF' ? '^' : c == ' ' ? '.' : c;
        drawn +=
            row.text + (row.args[1] == 434 + 6 * 12 ? "@" + std::to_string(row.args[0]) : "") + " ";
    }
    EXPECT_EQ(drawn, "..###.. ...##.. ...##.. ...##.. ...##.. ...##.. ..####.@80 "
                     "##..... ##..##. ##..##. ####### ....##. ....##. ....##.@160 "
                     ".... .... .... .... .... .... .##.@220 "
                     "####### ^....## .....## .....## .....## .....## .....##@260 ");
}

// The paint order (the stale paint's dashes: ReadoutsShowTheValuesAgain...); then the live path
// frame by frame: the spoke darkened, the digits redrawn
// (never the point) and the needle where it moved, and while the values are stale (the port
// closed, 2 s without a good frame, no frame yet) dashes in the readouts and the needle with its
// hub taken off. A move of the needle costs its square of the dial (the hub and both tips, 4
// pixels around, within 396 +- 144, 250 +- 144) copied from the kept still layer to the kept
// needle layer, the needle's three calls over it and the square copied to the window: no bitmap
// made, no dial element drawn and, but for the first frame on the decoding thread's context, no
// font selected. The first frame after a paint, which may have reached the screen in part
// only, draws every digit and the whole square.
TEST_F(GaugeTest, WholeViewPaintsDialReadoutsThenNeedleAndLiveFramesRedrawWhatChangedOrDashes) {
    AfrX10 = 147;
    LambdaX100 = 90;
    PortOpen = 1;
    TickCount = 1000;
    CallLiveListeners({}), TickCount = 1020; // a frame 2 s ago
    PaintAfrLambdaView(canvas);
    size_t face = 0, lastRow = 0, needle = 0;
    for (size_t i = 0; i < CanvasCalls.size(); i++) {
        const CanvasCall& call = CanvasCalls[i];
        face = face == 0 && call.op == CanvasOp::ELLIPSE ? i : face;
        lastRow = call.op == CanvasOp::BLOCK_TEXT ? i : lastRow;
        needle = call.op == CanvasOp::LINE_TO && call.state.penColour == NEEDLE ? i : needle;
    }
    EXPECT_TRUE(face < lastRow && lastRow < needle);
    EXPECT_TRUE((CanvasCalls[face].args == Args{236, 90, 556, 410}) &&
                CanvasCalls[face].state.penWidth == 2)
        << "the face in the dial's box, its outline 2 pixels wide";
    EXPECT_EQ(Readouts(), "14.7 0.90");
    EXPECT_EQ(CanvasCallsOf(CanvasOp::BLOCK_TEXT).at(0).state.textColour, Rgb(32, 32, 32));
    ResponseRate = 100;
    AddLiveListener(DrawLiveFrame);
    AddLiveStaleListener(DrawStaleValues);
    static int announced = 0; // the listeners hear of each gap once
    AddLiveStaleListener([] { ++announced; });
    enum Event { GOOD, BAD, TICKS, CLOSE };
    // Spokes k at 1 + 30k degrees about (740, 40), inner (radius 8) to outer (18).
    const Args SPOKES[] = {{739, 47, 739, 57, 2}, {735, 46, 730, 55, 2}, {733, 43, 724, 48, 2}};
    const Args NONE = {}, OFF = {1}; // the needle left, or taken off: the still square over it
    const std::array<uint8_t, 3> L167 = {0x7F, 0xFF, 0x00}, L117 = {0x3F, 0xFF, 0x80};
    // The event; a frame's lambda bytes (for TICKS, the first is the ticks passed); the spoke
    // darkened (0 none); the readouts drawn; the needle's tip and its square.
    const std::tuple<Event, std::array<uint8_t, 3>, int, const char*, int, int, Args> rows[] = {
        {GOOD, L167, 1, "24-5 1-67", 493, 351, SQUARE}, // 1.67, the first frame
        {BAD, {0x40}, 0, "---- ----", 0, 0, NONE},      // bad sums count for nothing
        {GOOD, L167, 0, "---- ----", 0, 0, NONE},
        {GOOD, L167, 0, "---- ----", 0, 0, NONE},
        {TICKS, {20}, 0, "---- ----", 0, 0, NONE}, // 2 s since the last good frame
        {GOOD, L167, 0, "---- ----", 0, 0, NONE},
        {GOOD, L167, 2, "---- ----", 0, 0, NONE},                     // the fifth good frame
        {GOOD, L117, 0, "17-2 --1-", 530, 207, {387, 203, 534, 355}}, // 1.17 at 252.25 degrees
        {TICKS, {21}, 0, "__-_ _-__", 0, 0, OFF},                     // more than 2 s: dashes
        {TICKS, {21}, 0, "---- ----", 0, 0, NONE},                    // once for each gap
        {GOOD, L117, 0, "17-2 1-17", 530, 207, {387, 203, 534, 259}}, // from the hub
        {CLOSE, {}, 0, "__-_ _-__", 0, 0, OFF},
    };
    for (const auto& [event, bytes, spoke, shown, x, y, square] : rows) {
        SCOPED_TRACE(shown);
        size_t from = CanvasCalls.size();
        std::vector<uint8_t> frame = UnitFrame(0x57, 0, {bytes[0], bytes[1], bytes[2], 0x05, 0xBE});
        frame.back() = static_cast<uint8_t>(frame.back() + (event == BAD));
        if (event == GOOD || event == BAD) {
            for (uint8_t byte : frame)
                RxStoreByte(byte);
            ASSERT_EQ(TakeLiveFrame(), event == GOOD ? 0 : 3);
        }
        TickCount += event == TICKS ? bytes[0] : 0;
        PortOpen = event != CLOSE;
        CheckLiveStale();
        EXPECT_EQ(Drawn(TextColour, from), std::vector<Args>(spoke > 0, SPOKES[spoke]));
        EXPECT_EQ(Drawn(Rgb(250, 250, 250), from),
                  std::vector<Args>(spoke > 0, SPOKES[std::max(spoke - 1, 0)]));
        EXPECT_EQ(Readouts(from), shown);
        EXPECT_EQ(Drawn(NEEDLE, from), std::vector<Args>(x != 0, {396, 250, x, y, 5}));
        std::map<CanvasOp, int> count;
        std::vector<Args> copied;
        for (size_t i = from; i < CanvasCalls.size(); i++) {
            const CanvasCall& call = CanvasCalls[i];
            count[call.op] += call.op != CanvasOp::LAYER || call.args[4] == 1; // a bitmap made
            if (call.op == CanvasOp::COPY)
                copied.push_back(call.args);
        }
        EXPECT_EQ(copied,
                  x != 0 ? std::vector<Args>(2, square) : std::vector<Args>(square == OFF, SQUARE));
        EXPECT_EQ(count[CanvasOp::ELLIPSE], x != 0) << "the hub alone";
        EXPECT_EQ(count[CanvasOp::FONT], &shown == &std::get<3>(rows[0])) << "the first frame";
        for (CanvasOp op : {CanvasOp::LAYER, CanvasOp::ARC, CanvasOp::TEXT, CanvasOp::RECTANGLE})
            EXPECT_EQ(count[op], 0) << int(op);
    }
    EXPECT_EQ(announced, 2);
}

// After a drop-out of 0.3 to 1.5 s the readouts show the values again, every cell: a paint
// that reached the screen only in part (as the status line's does), or one that came between a
// frame's values and its drawing (the main thread and the decoding thread), cannot leave a dash
// on the screen that the record of the readouts thinks is a digit. Until the first frame of the
// new opening nothing of the unit before is shown.
TEST_F(GaugeTest, ReadoutsShowTheValuesAgainAfterAShortDropOutAndPaintsBetween) {
    PortOpen = 1;
    static bool paintBetween = false; // a paint of the dial alone between the values and drawing
    AddLiveListener([](const LiveSample&) { paintBetween ? PaintPart(DIAL) : void(); });
    AddLiveListener(DrawLiveFrame);
    AddLiveStaleListener(DrawStaleValues);
    enum Event { FRAME, CLOSE, REOPEN, PAINT };
    const Args STATUS = {0, 532, 794, 552}, ALL = {0, 0, 794, 552};
    const std::tuple<Event, int32_t, int32_t, Args, bool, const char*> rows[] = {
        {PAINT, 0, 0, ALL, false, "__._ _.__"}, // no frame yet
        {FRAME, 111, 163, {}, false, "16.3 1.11"}, {CLOSE, 0, 0, {}, false, "__._ _.__"},
        {REOPEN, 5, 0, {}, false, "__._ _.__"}, // 0.5 s later
        {PAINT, 0, 0, STATUS, false, "__._ _.__"}, {PAINT, 0, 0, DIAL, false, "__._ _.__"},
        {FRAME, 111, 163, {}, false, "16.3 1.11"}, // each cell, the ones equal to before too
        {CLOSE, 0, 0, {}, false, "__._ _.__"},     {REOPEN, 15, 0, {}, false, "__._ _.__"},
        {PAINT, 0, 0, ALL, false, "__._ _.__"}, // no frame of this opening yet
        {FRAME, 105, 154, {}, true, "15.4 1.05"},
    };
    for (auto [event, a, b, part, between, screen] : rows) {
        SCOPED_TRACE(testing::Message() << event << " " << a << " " << screen);
        paintBetween = between;
        PortOpen = event != CLOSE; // a close is followed by a reopening
        PortOpenings += event == REOPEN;
        TickCount += event == REOPEN ? a : 0;
        if (event == FRAME)
            LambdaX100 = a, AfrX10 = b, CallLiveListeners({});
        if (event == PAINT)
            PaintPart(part);
        CheckLiveStale(); // the decoding thread's look
        EXPECT_EQ(Readouts(0, true), screen);
    }
}

} // namespace
