// The AFR and Lambda view through the recording canvas: the dial at the pixels it is laid out
// on, the needle, the block-digit readouts with their redraw of changed digits only, and the
// activity mark, also as live frames drive them.
#include "display/display_thread.h"
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

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using Args = std::array<int, 8>;
constexpr Colour FACE = Rgb(235, 235, 235), BAND = Rgb(217, 72, 0), NEEDLE = Rgb(210, 20, 10);
constexpr std::array<int, 4> AFR_X = {80, 160, 220, 260}, LAMBDA_X = {480, 540, 580, 660};

// The glyphs drawn on the given columns: a digit, "_" (dash) or "." per glyph, "-" for a
// column left alone, "?" for rows that are no glyph or lie off the readout rows. The glyphs are
// told apart by the readout's own table; ReadoutGlyphsAreTheBlockPicturesOfTheirDigits checks
// that table against pictures drawn by hand.
std::string Shown(const std::array<int, 4>& columns) {
    std::string shown;
    for (int x : columns) {
        std::string rows;
        for (const CanvasCall& row : CanvasCallsOf(CanvasOp::BLOCK_TEXT))
            if (row.args[0] == x)
                rows += std::to_string(row.args[1]) + row.text;
        char glyph = rows.empty() ? '-' : '?';
        for (size_t g = 0; g < DigitGlyphs.size(); g++) {
            std::string want;
            for (int r = 0; r < GLYPH_ROWS; r++)
                want += std::to_string(434 + 12 * r) +
                        std::string(DigitGlyphs[g].rows[r].data(), size_t(DigitGlyphs[g].width));
            glyph = rows == want ? "0123456789._"[g] : glyph;
        }
        shown += glyph;
    }
    return shown;
}

// The lines (from x, from y, to x, to y, pen width) or arcs drawn in one pen colour.
std::vector<Args> Drawn(Colour colour, CanvasOp op = CanvasOp::LINE_TO) {
    std::vector<Args> lines;
    for (CanvasCall line : CanvasCallsOf(op)) {
        if (op == CanvasOp::LINE_TO)
            line.args[4] = line.state.penWidth;
        if (line.state.penColour == colour)
            lines.push_back(line.args);
    }
    return lines;
}

class GaugeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetGauges();
        ResetLiveState();
        ResetLiveStream();
        ResetSettings();
        Fresh();
    }
    void TearDown() override {
        ClearCanvasCalls();
        ViewMode = VIEW_NONE;
        RemoveAllLiveListeners();
    }
    void Fresh() {
        ClearCanvasCalls();
        ASSERT_NE(canvas = CanvasOpenWindow(), nullptr);
    }
    Canvas* canvas = nullptr;
};

TEST_F(GaugeTest, DialArcsLabelsAndTheSortedWidenedClampedBand) {
    ClientWidth = 794; // the title: 14 characters of 11 pixels centred
    DrawDial(canvas);
    for (auto [colour, args] :
         {std::pair(Rgb(235, 230, 80), Args{241, 95, 551, 405, 396, 95, 286, 359}),
          {Rgb(70, 104, 245), Args{241, 95, 551, 405, 505, 359, 396, 95}},
          {Rgb(20, 220, 10), Args{241, 95, 551, 405, 409, 95, 382, 95}}})
        EXPECT_EQ(Drawn(colour, CanvasOp::ARC), std::vector<Args>{args});
    std::string labels;
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        labels += call.text + "@" + std::to_string(call.args[0]) + "," +
                  std::to_string(call.args[1]) + " ";
    for (const char* label :
         {"AFR and Lambda@320,10 ", "0.68@265,379 ", "1.00@396,56 ", "1.32@526,379 "})
        EXPECT_NE(labels.find(label), std::string::npos) << labels;
    // Pens by drawing, colour and width: the 2-pixel outline (10, 10, 10) around the face and
    // the circle, 1 pixel for the 64 minor ticks; black 3 pixels for the 17 major ticks from
    // (294, 355) at 44 degrees, 2 for the 16 mid ones; the four arcs 10 pixels.
    std::map<std::tuple<CanvasOp, Colour, int>, int> pens;
    for (const CanvasCall& call : CanvasCalls)
        pens[{call.op, call.state.penColour, call.state.penWidth}] +=
            call.op != CanvasOp::TEXT && call.op != CanvasOp::MOVE_TO;
    const Colour OUTLINE = Rgb(10, 10, 10), BLACK = Rgb(0, 0, 0);
    for (auto [op, colour, width, count] : {std::tuple(CanvasOp::ELLIPSE, OUTLINE, 2, 1),
                                            {CanvasOp::ARC, OUTLINE, 2, 1},
                                            {CanvasOp::LINE_TO, BLACK, 3, 17},
                                            {CanvasOp::LINE_TO, BLACK, 2, 16},
                                            {CanvasOp::LINE_TO, OUTLINE, 1, 64},
                                            {CanvasOp::ARC, BAND, 10, 1}})
        EXPECT_EQ(pens[std::tuple(op, colour, width)], count) << int(op) << " " << colour;
    EXPECT_EQ(Drawn(BLACK).at(0), (Args{294, 355, 284, 365, 3}));
    EXPECT_EQ(Drawn(BLACK).at(17), (Args{278, 340, 269, 347, 2})) << "the first mid tick";
    EXPECT_EQ(Drawn(OUTLINE).at(0), (Args{291, 357, 284, 365, 1})) << "the first minor tick";
    // Band arcs run from the higher end's angle down to the lower's, 4.25 degrees per 0.01.
    const std::tuple<double, double, int, int, int, int, double, double> rows[] = {
        {0.86, 0.88, 275, 152, 262, 171, 0.86, 0.88}, // 129 down to 120.5
        {0.90, 0.85, 291, 135, 256, 181, 0.90, 0.85}, // 137.5 down to 116.25
        {0.95, 0.95, 345, 103, 334, 107, 0.95, 0.95}, // 0.955 down to 0.945
        {0.5, 2.0, 503, 361, 288, 361, 0.68, 1.32},   // the whole scale, 316 down to 44
        {std::nan(""), 0.70, 273, 344, 288, 361, 0.68, 0.70},
    };
    for (auto [low, high, startX, startY, endX, endY, lowAfter, highAfter] : rows) {
        SCOPED_TRACE(low);
        Fresh();
        TargetLow = low;
        TargetHigh = high;
        DrawDial(canvas);
        EXPECT_EQ(Drawn(BAND, CanvasOp::ARC),
                  (std::vector<Args>{{241, 95, 551, 405, startX, startY, endX, endY}}));
        EXPECT_EQ(std::pair(TargetLow.load(), TargetHigh.load()), std::pair(lowAfter, highAfter));
    }
}

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
        EXPECT_EQ(Shown(AFR_X) + " " + Shown(LAMBDA_X), shown);
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

// The paint order; then the live path frame by frame: the spoke darkened, the digits redrawn
// (never the point) and the tip, and while the values are stale (the port closed, 2 s without a
// good frame, no frame yet) dashes in the readouts and the needle with its hub taken off.
TEST_F(GaugeTest, WholeViewPaintsDialReadoutsThenNeedleAndLiveFramesRedrawWhatChangedOrDashes) {
    ResetLinkState();
    AfrX10 = 147;
    LambdaX100 = 90;
    PortOpen = 1;
    TickCount = 1000;
    for (bool stale : {true, false}) { // no frame yet; then a frame 2 s ago
        Fresh();
        if (!stale)
            CallLiveListeners({}), TickCount = 1020;
        PaintAfrLambdaView(canvas);
        size_t face = 0, lastRow = 0, needle = 0;
        for (size_t i = 0; i < CanvasCalls.size(); i++) {
            const CanvasCall& call = CanvasCalls[i];
            face = face == 0 && call.op == CanvasOp::ELLIPSE ? i : face;
            lastRow = call.op == CanvasOp::BLOCK_TEXT ? i : lastRow;
            needle = call.op == CanvasOp::LINE_TO && call.state.penColour == NEEDLE ? i : needle;
        }
        EXPECT_TRUE(face < lastRow && (stale ? needle == 0 : lastRow < needle));
        EXPECT_EQ(Shown(AFR_X) + Shown(LAMBDA_X), stale ? "__.__.__" : "14.70.90");
        EXPECT_EQ(CanvasCallsOf(CanvasOp::BLOCK_TEXT).at(0).state.textColour, Rgb(32, 32, 32));
    }
    ResponseRate = 100;
    AddLiveListener([](const LiveSample&) { UpdateLiveGauges(); });
    AddLiveStaleListener(ShowStaleGauges);
    static int announced = 0; // the listeners hear of each gap once
    AddLiveStaleListener([] { ++announced; });
    ViewMode = VIEW_AFR_LAMBDA;
    enum Event { GOOD, BAD, TICKS, CLOSE };
    enum Needle { NONE, DRAWN, TAKEN_OFF }; // the needle to (x, y), or taken off from it
    // Spokes k at 1 + 30k degrees about (740, 40), inner (radius 8) to outer (18).
    const Args SPOKES[] = {{739, 47, 739, 57, 2}, {735, 46, 730, 55, 2}, {733, 43, 724, 48, 2}};
    // The event; a frame's lambda bytes (for TICKS, high is the ticks passed); the spoke
    // darkened (0 none); the readouts' columns as Shown gives them; the needle and its tip.
    struct Row {
        Event event;
        uint8_t high, middle, low;
        int spoke;
        const char *afr, *lambda;
        Needle needle;
        int x, y;
    } rows[] = {
        {GOOD, 0x7F, 0xFF, 0x00, 1, "2--5", "1-67", DRAWN, 493, 351}, // 1.67; the first good frame
        {BAD, 0x40, 0x00, 0x00, 0, "----", "----", NONE, 0, 0},       // bad sums count for nothing
        {GOOD, 0x7F, 0xFF, 0x00, 0, "----", "----", DRAWN, 493, 351},
        {GOOD, 0x7F, 0xFF, 0x00, 0, "----", "----", DRAWN, 493, 351},
        {TICKS, 20, 0, 0, 0, "----", "----", NONE, 0, 0}, // 2 s since the last good frame
        {GOOD, 0x7F, 0xFF, 0x00, 0, "----", "----", DRAWN, 493, 351},
        {GOOD, 0x7F, 0xFF, 0x00, 2, "----", "----", DRAWN, 493, 351}, // the fifth good frame
        {GOOD, 0x3F, 0xFF, 0x80, 0, "17-2", "--1-", DRAWN, 530, 207}, // 1.17 at angle 252.25
        {TICKS, 21, 0, 0, 0, "__-_", "_-__", TAKEN_OFF, 530, 207},    // more than 2 s: dashes
        {TICKS, 21, 0, 0, 0, "----", "----", NONE, 0, 0},             // once for each gap
        {GOOD, 0x3F, 0xFF, 0x80, 0, "17-2", "1-17", DRAWN, 530, 207}, // all back, from the hub
        {CLOSE, 0, 0, 0, 0, "__-_", "_-__", TAKEN_OFF, 530, 207},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.afr) + " " + row.lambda);
        ClearCanvasCalls();
        std::vector<uint8_t> frame =
            UnitFrame(0x57, 0, {row.high, row.middle, row.low, 0x05, 0xBE});
        frame.back() = static_cast<uint8_t>(frame.back() + (row.event == BAD));
        if (row.event == GOOD || row.event == BAD) {
            for (uint8_t byte : frame)
                RxStoreByte(byte);
            ASSERT_EQ(TakeLiveFrame(), row.event == GOOD ? 0 : 3);
        }
        TickCount += row.event == TICKS ? row.high : 0;
        PortOpen = row.event != CLOSE;
        CheckLiveStale();
        EXPECT_EQ(Drawn(TextColour), std::vector<Args>(row.spoke > 0, SPOKES[row.spoke]));
        EXPECT_EQ(Drawn(Rgb(250, 250, 250)),
                  std::vector<Args>(row.spoke > 0, SPOKES[std::max(row.spoke - 1, 0)]));
        EXPECT_EQ(Shown(AFR_X) + " " + Shown(LAMBDA_X), std::string(row.afr) + " " + row.lambda);
        const Args tip = {396, 250, row.x, row.y, 5};
        EXPECT_EQ(Drawn(NEEDLE), std::vector<Args>(row.needle == DRAWN, tip));
        // Taken off: the face colour over the needle as last drawn and over the hub.
        if (row.needle == TAKEN_OFF) {
            EXPECT_TRUE(Drawn(FACE) == std::vector<Args>{tip} &&
                        CanvasCallsOf(CanvasOp::ELLIPSE).at(0).state.brushColour == FACE);
        }
    }
    EXPECT_EQ(announced, 2);
}

} // namespace
