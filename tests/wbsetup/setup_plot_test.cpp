// The Wide Band Setup view's painting through the recording canvas: the output lines and the
// narrowband curve at their pixels, the switch-point readout, and the labels, frames and scales.
#include "display/status_line.h"
#include "support/canvas_record.h"
#include "wbsetup/setup_plot.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Args = std::array<int, 8>;
using Point = std::pair<int, int>;

constexpr Colour GRID = Rgb(190, 190, 190);

class SetupPlotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearCanvasCalls();
        LineHeight = 20;
        CharWidth = 10;
        ClientWidth = 794;
        values = DEFAULT_SETUP;
    }

    // The corners of the one polyline drawn by a plot routine, in its own context.
    std::vector<Point> Plot(int channel) {
        ClearCanvasCalls();
        EXPECT_EQ(PlotOutputLine(values, channel), 0);
        return Corners(1);
    }
    static std::vector<Point> Corners(int context) {
        std::vector<Point> corners;
        for (const CanvasCall& call : CanvasCalls) {
            if (call.canvas != context)
                continue;
            if (call.op == CanvasOp::MOVE_TO) {
                EXPECT_TRUE(corners.empty()) << "one polyline only";
                corners.push_back({call.args[0], call.args[1]});
            } else if (call.op == CanvasOp::LINE_TO) {
                corners.push_back({call.args[2], call.args[3]});
            }
        }
        return corners;
    }
    static std::vector<CanvasCall> TextsOf(int context) {
        std::vector<CanvasCall> texts;
        for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
            if (call.canvas == context)
                texts.push_back(call);
        return texts;
    }
    void Readout(int offset) {
        values.NbOffset = offset;
        ClearCanvasCalls();
        ASSERT_EQ(PlotNarrowbandCurve(values), 0);
        readout = TextsOf(1);
    }
    // Everything the view paints on a context opened for it, the plots on their own.
    void Paint() {
        ClearCanvasCalls();
        Canvas* canvas = CanvasOpenWindow();
        ASSERT_NE(canvas, nullptr);
        CanvasSetFont(canvas, FONT_STATUS);
        PaintSetupView(canvas, values);
        CanvasCloseWindow(canvas);
        // Without the calls that set the context up (OPEN, the StatusFont selection).
        painted.assign(CanvasCalls.begin() + 2, CanvasCalls.end());
    }
    std::vector<CanvasCall> PaintedOf(CanvasOp op, int context = 1) const {
        std::vector<CanvasCall> calls;
        for (const CanvasCall& call : painted)
            if (call.op == op && call.canvas == context)
                calls.push_back(call);
        return calls;
    }
    bool HasText(int x, int y, const std::string& text) const {
        for (const CanvasCall& call : PaintedOf(CanvasOp::TEXT))
            if (call.args[0] == x && call.args[1] == y && call.text == text)
                return true;
        return false;
    }

    SetupRecord values{};
    std::vector<CanvasCall> readout;
    std::vector<CanvasCall> painted;
};

// ---- Linear characteristics ---------------------------------------------------------------

TEST_F(SetupPlotTest, LinesAreDrawnBetweenTheirPointsAndHeldInsideThePlot) {
    const struct {
        const char* what;
        ChannelSetup channel; // volts1, afr1, volts2, afr2 (x10, x100)
        std::vector<Point> corners;
    } rows[] = {
        // 0 V at 10.00 and 5 V at 20.00 over 14.70: 4.702 V at lambda 1.32, the end of the
        // line (x 394) held at the plot's right edge; the points in either order.
        {"default", {0, 1000, 50, 2000, 128, 3}, {{44, 317}, {44, 317}, {374, 85}, {374, 85}}},
        {"reversed", {50, 2000, 0, 1000, 128, 3}, {{44, 317}, {44, 317}, {374, 85}, {374, 85}}},
        // 0 V at 8.00 (lambda 0.544), 5 V at 16.00 (1.088): 1.247 V at lambda 0.68.
        {"rich start", {0, 800, 50, 1600, 128, 3}, {{44, 255}, {44, 255}, {254, 71}, {374, 71}}},
        // Falling from 5 V at 8.00 to 0 V at 9.00: extended to lambda 0.68 it is below 0 V.
        {"held at 0 V", {50, 800, 0, 900, 128, 3}, {{44, 317}, {44, 317}, {44, 317}, {374, 317}}},
        // 1.0 V and 4.0 V both at 14.70: lambda 1.00 comes out a hair below 1 (14.70 x 0.01
        // rounds up), so the step stands at x 208 rather than 209.
        {"equal", {10, 1470, 40, 1470, 128, 3}, {{44, 267}, {208, 267}, {208, 120}, {374, 120}}},
        // Past the left edge the undefined slope must not extend the line.
        {"equal, rich", {10, 800, 40, 800, 128, 3}, {{44, 267}, {44, 267}, {44, 120}, {374, 120}}},
        // 1.0 V at 20.00 and 2.0 V at 21.00: 0.404 V where the line would cross lambda 1.32.
        {"leaner", {10, 2000, 20, 2100, 128, 3}, {{44, 267}, {374, 267}, {374, 297}, {374, 297}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        values.Channel[0] = row.channel;
        EXPECT_EQ(Plot(CHANNEL_A), row.corners);
    }
    values.SetupFlags = SETUP_FLAG_B_LINEAR;
    EXPECT_EQ(Plot(CHANNEL_B), (std::vector<Point>{{439, 317}, {439, 317}, {769, 85}, {769, 85}}));
}

TEST_F(SetupPlotTest, ZeroStoichiometricAfrStaysInsideThePlot) {
    values.StoichAfr = 0; // the field lets 0.00 through; every lambda is then infinite or NaN
    EXPECT_EQ(Plot(CHANNEL_A), (std::vector<Point>{{44, 317}, {374, 317}, {374, 71}, {374, 71}}));
    values.Channel[0] = {0, 0, 50, 0, 128, 3};
    for (const Point& corner : Plot(CHANNEL_A)) {
        EXPECT_GE(corner.first, 44);
        EXPECT_LE(corner.first, 374);
        EXPECT_GE(corner.second, 71);
        EXPECT_LE(corner.second, 317);
    }
}

TEST_F(SetupPlotTest, OtherChannelsAndAMissingWindowDrawNothing) {
    EXPECT_EQ(PlotOutputLine(values, 2), -1);
    EXPECT_EQ(PlotOutputLine(values, -1), -1);
    EXPECT_TRUE(CanvasCalls.empty());
    RecordWindowExists = false;
    EXPECT_EQ(PlotOutputLine(values, CHANNEL_A), -1);
    EXPECT_EQ(PlotNarrowbandCurve(values), -1);
    EXPECT_TRUE(CanvasCalls.empty());
}

// ---- Narrowband characteristic ------------------------------------------------------------

TEST_F(SetupPlotTest, NarrowbandCurveLeavesOutThePointsPastTheEdges) {
    std::vector<Point> curve = Plot(CHANNEL_B); // narrowband by default
    ASSERT_EQ(curve.size(), 22u) << "all 20 inner points fall inside the plot";
    EXPECT_EQ(curve[1], (Point{475, 91}));
    EXPECT_EQ(curve[11], (Point{598, 134})) << "the last rich point, 0.742 V";
    EXPECT_EQ(curve[12], (Point{609, 276})) << "past the switch, 0.164 V";
    values.NbOffset = 201; // 0.073 lambda, 37.6 pixels to the right: point 20 lands at x 792
    ASSERT_EQ(Plot(CHANNEL_B).size(), 21u);
    EXPECT_EQ(Plot(CHANNEL_B)[19], (Point{767, 310}));
    values.NbOffset = 55; // point 1 lands at x 438
    ASSERT_EQ(Plot(CHANNEL_B).size(), 21u);
    EXPECT_EQ(Plot(CHANNEL_B)[1], (Point{443, 91}));
    for (int offset : {128, 201, 55, 255}) { // any byte can come from the unit
        SCOPED_TRACE(offset);
        values.NbOffset = offset;
        curve = Plot(CHANNEL_B);
        EXPECT_EQ(curve.front(), (Point{439, 91}));
        EXPECT_EQ(curve.back(), (Point{769, 310}));
        for (const Point& corner : curve)
            EXPECT_TRUE(corner.first >= 439 && corner.first <= 769) << corner.first;
    }
}

TEST_F(SetupPlotTest, ReadoutStandsAtTheEndTheSwitchPointMovedTo) {
    // 486 is 476 + CharWidth, 698 is 738 - 4 CharWidth; y is LineHeight + 369.
    const struct {
        int offset;
        std::vector<std::pair<int, std::string>> texts; // x and text, in order
    } rows[] = {
        {128, {{486, "14.70"}, {698, "14.70"}}},
        {55, {{698, "     "}, {486, "13.63"}}}, // the lean end is wiped first
        {201, {{486, "     "}, {698, "15.77"}}},
        {0, {{698, "     "}, {486, "12.82"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offset);
        Readout(row.offset);
        std::vector<std::pair<int, std::string>> texts;
        for (const CanvasCall& text : readout) {
            texts.push_back({text.args[0], text.text});
            EXPECT_EQ(text.args[1], 389);
            EXPECT_EQ(text.state.font, FONT_COURIER);
            EXPECT_EQ(text.state.backColour, BackColour);
            EXPECT_EQ(text.state.textColour, Rgb(0, 0, 0)) << "the context's own text colour";
        }
        EXPECT_EQ(texts, row.texts);
    }
}

// ---- The whole view -----------------------------------------------------------------------

TEST_F(SetupPlotTest, TitleIsCentredInLargeFont) {
    Paint();
    auto texts = PaintedOf(CanvasOp::TEXT);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0].text, "Wide Band Setup");
    EXPECT_EQ(texts[0].args, (Args{397 - 165 / 2, 10})) << "15 characters of 11 pixels";
    EXPECT_EQ(texts[0].state.font, FONT_LARGE);
    EXPECT_EQ(texts[0].state.textColour, TextColour);
    EXPECT_EQ(texts[0].state.backColour, BackColour);
}

TEST_F(SetupPlotTest, NarrowbandLayoutFramesFiveFieldsAndTheOffsetBar) {
    Paint();
    auto rectangles = PaintedOf(CanvasOp::RECTANGLE);
    ASSERT_EQ(rectangles.size(), 6u);
    EXPECT_EQ(rectangles[0].args, (Args{129, 505, 181, 523})) << "Stoich AFR";
    EXPECT_EQ(rectangles[1].args, (Args{43, 363, 95, 381}));
    EXPECT_EQ(rectangles[2].args, (Args{279, 363, 331, 381}));
    EXPECT_EQ(rectangles[3].args, (Args{43, 389, 95, 407}));
    EXPECT_EQ(rectangles[4].args, (Args{279, 389, 331, 407}));
    EXPECT_EQ(rectangles[5].args, (Args{475, 363, 733, 383})) << "around the offset bar";
    for (const CanvasCall& frame : rectangles) {
        EXPECT_EQ(frame.state.penColour, Rgb(0, 0, 0));
        EXPECT_EQ(frame.state.brushColour, Rgb(255, 255, 255));
    }
    EXPECT_TRUE(HasText(20, 506, "Stoich AFR "));
    EXPECT_TRUE(HasText(100, 364, " Volts for AFR of "));
    EXPECT_TRUE(HasText(100, 390, " Volts for AFR of "));
    EXPECT_FALSE(HasText(495, 364, " Volts for AFR of "));
    EXPECT_TRUE(HasText(559, 389, "NB Offset"));
    EXPECT_TRUE(HasText(43, 426, "Response"));
    EXPECT_TRUE(HasText(438, 426, "Response"));
    for (const CanvasCall& text : PaintedOf(CanvasOp::TEXT)) {
        bool label =
            text.text == "NB Offset" || text.text == "Response" || text.text == "Stoich AFR ";
        EXPECT_TRUE(!label || text.state.font == FONT_STATUS) << text.text;
    }

    std::vector<Args> mark;
    for (const CanvasCall& line : PaintedOf(CanvasOp::LINE_TO))
        if (line.args[1] == 383)
            mark.push_back(line.args);
    EXPECT_EQ(mark, (std::vector<Args>{
                        {603, 383, 603, 388}, {604, 383, 604, 388}, {605, 383, 605, 388}}));
}

TEST_F(SetupPlotTest, LinearLayoutFramesAllNineFieldsAndNoOffsetBar) {
    values.SetupFlags = SETUP_FLAG_B_LINEAR;
    Paint();
    auto rectangles = PaintedOf(CanvasOp::RECTANGLE);
    ASSERT_EQ(rectangles.size(), 9u);
    EXPECT_EQ(rectangles[5].args, (Args{438, 363, 490, 381}));
    EXPECT_EQ(rectangles[8].args, (Args{674, 389, 726, 407}));
    EXPECT_TRUE(HasText(495, 364, " Volts for AFR of "));
    EXPECT_TRUE(HasText(495, 390, " Volts for AFR of "));
    for (const CanvasCall& text : PaintedOf(CanvasOp::TEXT))
        EXPECT_NE(text.text, "NB Offset");
}

TEST_F(SetupPlotTest, PlotFramesAndGrids) {
    Paint();
    std::vector<Args> frames;
    std::vector<Args> grid;
    for (const CanvasCall& line : PaintedOf(CanvasOp::LINE_TO)) {
        if (line.state.penColour == GRID)
            grid.push_back(line.args);
        else if (line.args[1] != 383) // not the offset bar's centre mark
            frames.push_back(line.args);
    }
    EXPECT_EQ(frames, (std::vector<Args>{{44, 68, 374, 68},
                                         {374, 68, 374, 318},
                                         {374, 318, 44, 318},
                                         {44, 318, 44, 68},
                                         {439, 68, 769, 68},
                                         {769, 68, 769, 318},
                                         {769, 318, 439, 318},
                                         {439, 318, 439, 68}}));
    ASSERT_EQ(grid.size(), 18u);
    EXPECT_EQ(grid[0], (Args{45, 316, 373, 316}));
    EXPECT_EQ(grid[1], (Args{440, 316, 768, 316}));
    EXPECT_EQ(grid[11], (Args{440, 71, 768, 71}));
    EXPECT_EQ(grid[12], (Args{126, 69, 126, 318}));
    EXPECT_EQ(grid[13], (Args{521, 69, 521, 318}));
    EXPECT_EQ(grid[17], (Args{685, 69, 685, 318}));
    auto restores = PaintedOf(CanvasOp::RESTORE);
    ASSERT_EQ(restores.size(), 1u) << "the grid pen is given up again";
}

TEST_F(SetupPlotTest, VoltScalesFollowChannelBsLayout) {
    Paint();
    for (int k = 0; k <= 5; ++k) {
        int y = 316 - 49 * k - 10;
        EXPECT_TRUE(HasText(24, y, std::to_string(k) + "V")) << k;
    }
    EXPECT_TRUE(HasText(409, 306, ".0V"));
    EXPECT_TRUE(HasText(409, 110, ".8V"));
    EXPECT_TRUE(HasText(409, 61, " 1V"));

    values.SetupFlags = SETUP_FLAG_B_LINEAR;
    Paint();
    EXPECT_TRUE(HasText(409, 306, " 0V"));
    EXPECT_TRUE(HasText(409, 61, " 5V"));
}

TEST_F(SetupPlotTest, ScaleFiguresFollowTheStoichiometricAfr) {
    auto row = [this](int x0, int y) {
        std::vector<std::string> figures;
        for (int k = 0; k <= 4; ++k)
            for (const CanvasCall& text : PaintedOf(CanvasOp::TEXT))
                if (text.args[0] == x0 + 82 * k - 20 && text.args[1] == y) {
                    figures.push_back(text.text);
                    EXPECT_EQ(text.state.font, FONT_COURIER);
                }
        return figures;
    };
    using Figures = std::vector<std::string>;
    Paint();
    EXPECT_EQ(row(44, 320), (Figures{"10.0", "12.3", "14.7", "17.1", "19.4"}));
    EXPECT_EQ(row(439, 320), (Figures{"10.0", "12.3", "14.7", "17.1", "19.4"}));
    EXPECT_EQ(row(44, 336), (Figures{"0.68", "0.84", "1.00", "1.16", "1.32"}));
    EXPECT_EQ(row(439, 336), (Figures{"0.68", "0.84", "1.00", "1.16", "1.32"}));
    EXPECT_TRUE(HasText(154, 320, "AFR"));
    EXPECT_TRUE(HasText(549, 336, "L"));

    values.StoichAfr = 1000;
    Paint();
    EXPECT_EQ(row(44, 320), (Figures{" 6.8", " 8.4", "10.0", "11.6", "13.2"}));
    EXPECT_EQ(row(439, 320), (Figures{" 6.8", " 8.4", "10.0", "11.6", "13.2"}));
}

TEST_F(SetupPlotTest, PaintDrawsBothPlotsAndLeavesTheContextAsItFoundIt) {
    Paint();
    EXPECT_EQ(Corners(2), (std::vector<Point>{{44, 317}, {44, 317}, {374, 85}, {374, 85}}));
    EXPECT_EQ(Corners(3).back(), (Point{769, 310})) << "channel B's narrowband curve";
    EXPECT_EQ(TextsOf(3).size(), 2u) << "the switch-point readout";

    const CanvasCall& close = painted.back();
    ASSERT_EQ(close.op, CanvasOp::CLOSE);
    EXPECT_EQ(close.canvas, 1);
    EXPECT_EQ(close.state.font, FONT_STATUS);
    EXPECT_EQ(close.state.textColour, Rgb(0, 0, 0));
    EXPECT_EQ(close.state.backColour, Rgb(255, 255, 255));
}

} // namespace
