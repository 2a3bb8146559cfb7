// The Wide Band Setup view's painting through the recording canvas: the output lines and the
// narrowband curve at their pixels, the switch-point readout, and the labels, frames and scales.
#include "display/status_line.h"
#include "firmware/test_files.h"
#include "support/canvas_record.h"
#include "wbsetup/setup_plot.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// What a context drew, a call a line ended by '|': "t x y text @font" and "r left top right
// bottom"; or a polyline's corners as "x,y x,y ...". The texts, the field frames and the curves'
// anchors carry the layout.
std::string Drawn(int context, bool corners = false) {
    std::ostringstream out;
    for (const CanvasCall& c : CanvasCalls) {
        const auto& a = c.args;
        const bool to = c.op == CanvasOp::LINE_TO;
        if (c.canvas != context)
            continue;
        if (corners && (to || c.op == CanvasOp::MOVE_TO))
            out << (to ? " " : "") << a[to ? 2 : 0] << "," << a[to ? 3 : 1];
        else if (!corners && c.op == CanvasOp::TEXT)
            out << "t " << a[0] << " " << a[1] << " " << c.text << " @"
                << "??SCL"[c.state.font] << "|";
        else if (!corners && c.op == CanvasOp::RECTANGLE)
            out << "r " << a[0] << " " << a[1] << " " << a[2] << " " << a[3] << "|";
    }
    return out.str();
}

class SetupPlotTest : public ::testing::Test {
  protected:
    SetupRecord values = DEFAULT_SETUP;
    void SetUp() override {
        LineHeight = 20, CharWidth = 10, ClientWidth = 794;
    }
    std::string Plot(int channel) {
        ClearCanvasCalls();
        EXPECT_EQ(PlotOutputLine(CanvasOpenWindow(), values, channel), 0);
        return Drawn(1, true);
    }
};

TEST_F(SetupPlotTest, LinesAreDrawnBetweenTheirPointsAndHeldInsideThePlot) {
    const struct {
        const char* what;
        int32_t stoich;
        ChannelSetup channel; // volts1, afr1, volts2, afr2 (x10, x100)
        const char* corners;
    } rows[] = {
        // 0 V at 10.00 and 5 V at 20.00 over 14.70: 4.702 V at lambda 1.32, the end of the
        // line (x 394) held at the plot's right edge; the points in either order.
        {"default", 1470, {0, 1000, 50, 2000, 128, 3}, "44,317 44,317 374,85 374,85"},
        {"reversed", 1470, {50, 2000, 0, 1000, 128, 3}, "44,317 44,317 374,85 374,85"},
        // 0 V at 8.00 (lambda 0.544), 5 V at 16.00 (1.088): 1.247 V at lambda 0.68.
        {"rich start", 1470, {0, 800, 50, 1600, 128, 3}, "44,255 44,255 254,71 374,71"},
        // Falling from 5 V at 8.00 to 0 V at 9.00: extended to lambda 0.68 it is below 0 V.
        {"held at 0 V", 1470, {50, 800, 0, 900, 128, 3}, "44,317 44,317 44,317 374,317"},
        // 1.0 V and 4.0 V both at 14.70: lambda 1.00 comes out a hair below 1 (14.70 x 0.01
        // rounds up), so the step stands at x 208 rather than 209.
        {"equal", 1470, {10, 1470, 40, 1470, 128, 3}, "44,267 208,267 208,120 374,120"},
        // Past the left edge the undefined slope must not extend the line.
        {"equal, rich", 1470, {10, 800, 40, 800, 128, 3}, "44,267 44,267 44,120 374,120"},
        // 1.0 V at 20.00 and 2.0 V at 21.00: 0.404 V where the line would cross lambda 1.32.
        {"leaner", 1470, {10, 2000, 20, 2100, 128, 3}, "44,267 374,267 374,297 374,297"},
        // 7.0 V at 20.00, which a setup file may hold: 6.583 V at lambda 1.32, drawn at 5 V.
        {"beyond 5 V", 1470, {0, 1000, 70, 2000, 128, 3}, "44,317 44,317 374,71 374,71"},
        // Every lambda infinite or NaN: the line stays inside the plot.
        {"stoich 0", 0, {0, 1000, 50, 2000, 128, 3}, "44,317 374,317 374,71 374,71"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        values.StoichAfr = row.stoich;
        values.Channel[0] = row.channel;
        EXPECT_EQ(Plot(CHANNEL_A), row.corners);
    }
    // No channel 2 or -1.
    for (int channel : {2, -1})
        EXPECT_EQ(PlotOutputLine(CanvasOpenWindow(), values, channel), -1) << channel;
}

TEST_F(SetupPlotTest, NarrowbandCurveLeavesOutThePointsPastTheEdgesAndReadsItsSwitchPoint) {
    // 201 moves the curve of offset 128 (the view test's) 37.6 pixels right, so point 19 lands
    // at x 767 and point 20 (x 792) is left out; 55 leaves out point 1 (x 438). Both keep the
    // ends (439, 91) and (769, 310). The readout's places: 476 + CharWidth and 738 - 4
    // CharWidth, at y 389; every text six characters wide, as the widest, so that "1.01" wipes
    // "212.10" (210.00 x 1.01).
    const struct {
        int offset, stoich;
        const char *start, *end, *readout;
    } rows[] = {
        {201, 1470, "439,91 513,91 ", " 767,310 769,310",
         "t 486 389        @C|t 698 389 15.77  @C|"},
        {55, 1470, "439,91 443,91 ", " 717,310 769,310",
         "t 698 389        @C|t 486 389 13.63  @C|"},
        {138, 21000, "", "", "t 486 389        @C|t 698 389 212.10 @C|"},
        {138, 100, "", "", "t 486 389        @C|t 698 389 1.01   @C|"},
        {128, 50, "", "", "t 486 389 0.50   @C|t 698 389 0.50   @C|"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offset);
        values.NbOffset = row.offset;
        values.StoichAfr = row.stoich;
        const std::string corners = Plot(CHANNEL_B);
        EXPECT_TRUE(corners.starts_with(row.start) && corners.ends_with(row.end)) << corners;
        EXPECT_TRUE(Drawn(1).ends_with(row.readout)) << Drawn(1);
    }
}

// Frames, labels and scales, as lines of Drawn().
TEST_F(SetupPlotTest, ViewDrawsTitleFramesLabelsAndScalesForEachLayout) {
    const struct {
        int32_t flags, stoich;
        std::string present, absent;
    } rows[] = {
        {0, 1470,
         "t 315 10 Wide Band Setup @L|r 129 505 181 523|r 43 389 95 407|r 475 363 733 383|"
         "t 20 506 Stoich AFR  @S|t 100 364  Volts for AFR of  @S|t 559 389 NB Offset @S|"
         "t 43 426 Response @S|t 438 426 Response @S|t 24 306 0V @C|t 24 61 5V @C|t 409 306 .0V @C|"
         "t 409 110 .8V @C|t 409 61  1V @C|t 24 320 10.0 @C|t 106 320 12.3 @C|t 188 320 14.7 @C|"
         "t 270 320 17.1 @C|t 352 320 19.4 @C|t 24 336 0.68 @C|"
         "t 106 336 0.84 @C|t 188 336 1.00 @C|t 270 336 1.16 @C|t 352 336 1.32 @C|"
         "t 154 320 AFR @C|t 549 320 AFR @C|t 154 336 L @C|t 549 336 L @C",
         "r 438 363 490 381|t 495 364  Volts for AFR of  @S|t 434 336 1.48 @C|t 24 12 6V @C"},
        // 210.00 x 1.32 = 277.2 would end past the window at x 747 + 45: the last figures end 16
        // pixels past their plot, inside the channel's frame.
        {0, 21000, "t 345 320 277.2 @C|t 740 320 277.2 @C|t 352 336 1.32 @C|t 747 336 1.32 @C",
         "t 352 320 277.2 @C|t 747 320 277.2 @C"},
        {SETUP_FLAG_B_LINEAR, 1000,
         "r 438 363 490 381|r 674 363 726 381|r 438 389 490 407|r 674 389 726 407|"
         "t 495 364  Volts for AFR of  @S|t 495 390  Volts for AFR of  @S|t 409 306  0V @C|"
         "t 409 61  5V @C|t 24 320  6.8 @C|t 106 320  8.4 @C|t 188 320 10.0 @C|"
         "t 270 320 11.6 @C|t 352 320 13.2 @C|t 419 320  6.8 @C|r 129 505 181 523",
         "t 559 389 NB Offset @S|r 475 363 733 383|t 409 61  1V @C"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.flags);
        values.SetupFlags = row.flags;
        values.StoichAfr = row.stoich;
        ClearCanvasCalls(); // the view on a context opened for it (1), the plots on another (2)
        Canvas *canvas = CanvasOpenWindow(), *plots = CanvasOpenWindow();
        CanvasSetFont(canvas, FONT_STATUS);
        PaintSetupView(canvas, plots, values);
        CanvasCloseWindow(plots);
        CanvasCloseWindow(canvas);
        std::vector<std::string> drawn = Split(Drawn(1), '|');
        for (auto [lines, times] : {std::pair(row.present, 1), {row.absent, 0}})
            for (const std::string& line : Split(lines, '|'))
                EXPECT_EQ(std::count(drawn.begin(), drawn.end(), line), times) << line;
        if (row.stoich == 1470) { // the plots on their context
            EXPECT_TRUE(Drawn(2, true).starts_with("44,317 44,317 374,85 374,85439,91"))
                << Drawn(2, true);
            // The offset bar's centre mark: lines at x 603, 604 and 605, from 363 to 368 below
            // the line's height.
            EXPECT_TRUE(Has(Drawn(1, true), "603,383 603,388604,383 604,388605,383 605,388"));
            // The grid pen's lines: rows 45 to 373 and 440 to 768, then columns 69 to 318.
            std::vector<std::array<int, 8>> grid, table;
            for (const CanvasCall& call : CanvasCallsOf(CanvasOp::LINE_TO))
                call.state.penColour == Rgb(190, 190, 190) ? grid.push_back(call.args) : void();
            for (int y : {316, 267, 218, 169, 120, 71})
                table.push_back({45, y, 373, y}), table.push_back({440, y, 768, y});
            for (int x : {126, 208, 290})
                table.push_back({x, 69, x, 318}), table.push_back({x + 395, 69, x + 395, 318});
            EXPECT_EQ(grid, table);
        }
    }
}

} // namespace
