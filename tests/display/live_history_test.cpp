// The Live History view and its chart through the recording canvas: a known run of lambdas at
// the pixels worked out by hand (x = 679 - columns before the newest, y = 380 - 5 per hundredth
// above 0.68), gaps where frames stopped, the figures of the window, the target band, the time
// labels of another window, and the redraws that live frames cause.
#include "display/live_history.h"
#include "display/status_line.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

constexpr Colour TRACE = Rgb(210, 20, 10), BAND = Rgb(217, 72, 0);

// The lines drawn in a colour; with vertical set, only the upright ones.
std::string Lines(Colour colour = TRACE, bool vertical = false) {
    std::string lines;
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
        if (line.state.penColour == colour && (!vertical || line.args[0] == line.args[2]))
            lines += std::to_string(line.args[0]) + "," + std::to_string(line.args[1]) + ">" +
                     std::to_string(line.args[2]) + "," + std::to_string(line.args[3]) + " ";
    return lines;
}

class HistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetHistory();
        ResetSettings();
        ClearCanvasCalls();
        ASSERT_NE(canvas = CanvasOpenWindow(), nullptr);
    }
    void TearDown() override {
        ClearCanvasCalls();
    }
    Canvas* canvas = nullptr;
};

TEST_F(HistoryTest, LambdasLandOnTheirPixelsWithGapsForOutagesAndTheWindowsFigures) {
    // Drawn at 200 s: the newest 0.2 s column (1000) is x 679; the window starts at column 401.
    // 80.1 s is column 400: out of the window, neither drawn nor counted. 190.1 s, column 950, x
    // 629, y 220, starts the trace, a dot; 190.3 and 190.35 s, column 951, x 630: the line ends
    // at this column's last value, y 270; 191.1 s, column 955, four columns on: a gap, and 1.50
    // stops at the top, y 60; 191.7 s, column 958, three on: joined, 0.50 stops at the bottom, y
    // 380; 199.9 s, column 999, x 678, y 170: a gap again.
    const std::tuple<double, int32_t> samples[] = {{80.1, 120},  {190.1, 100}, {190.3, 86},
                                                   {190.35, 90}, {191.1, 150}, {191.7, 50},
                                                   {199.9, 110}};
    for (auto [seconds, lambdaX100] : samples)
        AddHistorySample(seconds, lambdaX100, 1470);
    PortOpen = 1;
    CallLiveListeners({}); // the values are fresh
    ClientWidth = 794;     // the view's title: 12 characters of 11 pixels centred
    PaintHistoryView(canvas, 200.0);
    EXPECT_EQ(Lines(), "629,220>630,220 629,220>630,270 634,60>635,60 634,60>637,380 "
                       "678,170>679,170 ");
    // 586 hundredths over six frames: 0.9767.
    std::string texts;
    for (const CanvasCall& text : CanvasCallsOf(CanvasOp::TEXT))
        texts += text.text + "@" + std::to_string(text.args[0]) + "," +
                 std::to_string(text.args[1]) + "|";
    // The figures centred under the chart; the scales' labels in the figures' 9 by 17 cells,
    // ending 6 pixels left of it and starting 6 right, their middle (8 pixels down) on their
    // line, each scale's title above its top label; the AFR scale at 14.70: 0.68 is 10.0, 1.32
    // is 19.4; the time labels 6 pixels under the chart, on the grid lines and the left edge.
    for (const char* label :
         {"Now 1.10   Lowest 0.50   Highest 1.50   Mean 0.98@380,420|", "0.68@38,372|10.0@686,372|",
          "1.32@38,52|19.4@686,52|Lambda@20,36|AFR@686,36|", "|now@679,386|", "|-120 s@80,386|",
          "Live History@331,10|"})
        EXPECT_NE(texts.find(label), std::string::npos) << label << " in " << texts;
    // A grid line every 10 s (50 columns) from the newest column back to the window's left.
    EXPECT_EQ(Lines(Rgb(160, 160, 160), true),
              "679,60>679,380 629,60>629,380 579,60>579,380 529,60>529,380 479,60>479,380 "
              "429,60>429,380 379,60>379,380 329,60>329,380 279,60>279,380 229,60>229,380 "
              "179,60>179,380 129,60>129,380 ");
    // Two minutes on, everything has left the window.
    ClearCanvasCalls();
    DrawHistoryChart(canvas = CanvasOpenWindow(), 320.0);
    EXPECT_EQ(Lines(), "");
}

TEST_F(HistoryTest, TheBandIsTheSortedClampedTargetAreaAndTheSettingsStayAsTheyWere) {
    // The defaults, 0.88 at y 280 and 0.86 at y 290; 0.5 stops at 0.68; 2.0 stops at 1.32.
    const std::tuple<double, double, int, int> rows[] = {
        {0.86, 0.88, 280, 291}, {0.5, 0.70, 370, 381}, {2.0, 0.76, 60, 341}};
    for (auto [low, high, top, bottom] : rows) {
        SCOPED_TRACE(low);
        ClearCanvasCalls();
        TargetLow = low;
        TargetHigh = high;
        DrawHistoryChart(canvas = CanvasOpenWindow(), 10.0);
        // The face, grey as the dial's, in its outline; then the band.
        std::vector<std::pair<Colour, std::array<int, 8>>> drawn;
        for (const CanvasCall& rectangle : CanvasCallsOf(CanvasOp::RECTANGLE))
            if (rectangle.state.brushColour != BackColour) // the last redraw cleared
                drawn.push_back({rectangle.state.brushColour, rectangle.args});
        EXPECT_EQ(drawn, (decltype(drawn){{Rgb(235, 235, 235), {79, 59, 681, 382}},
                                          {BAND, {80, top, 680, bottom}}}));
        // No frame yet: the AFR scale is petrol's, 14.70, so 0.84 is 12.348, shown 12.3.
        EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT).at(5).text, "12.3");
        EXPECT_EQ(std::pair(TargetLow.load(), TargetHigh.load()), std::pair(low, high));
    }
}

// The chart alone, over a window of 1 s columns (a recording's, say): the time labels count
// back 150 columns, 150 s, each, to the left edge; a lone column is a dot.
TEST_F(HistoryTest, TheChartLabelsTheTimeOfItsOwnWindow) {
    HistoryChart chart{{500.0, 1.0}, {}, {0.86, 0.88}, 1470};
    AddToColumn(chart.columns[599], 100);
    DrawChart(canvas, chart);
    std::string labels;
    for (const CanvasCall& text : CanvasCallsOf(CanvasOp::TEXT))
        labels += text.args[1] == 386 ? text.text + "@" + std::to_string(text.args[0]) + " " : "";
    EXPECT_EQ(labels, "now@679 -150 s@529 -300 s@379 -450 s@229 -600 s@80 ");
    EXPECT_EQ(Lines(), "679,220>680,220 ");
}

// A live redraw of the chart comes at most ten times a second while frames come, and reaches the
// window in one copy of the chart's whole area, none of its calls on the window itself; while
// the values are stale (here the port closed) the figures are dashes.
TEST_F(HistoryTest, RedrawsComeAtMostTenASecondAndReachTheWindowInOneCopy) {
    EXPECT_EQ(std::vector<bool>({HistoryRedrawDue(10.0), HistoryRedrawDue(10.05),
                                 HistoryRedrawDue(10.15), HistoryRedrawDue(10.2)}),
              std::vector<bool>({true, false, true, false}));
    ResetLinkState(); // the port closed
    KeepHistorySample({1.0, 100, 147, 1470});
    ClearCanvasCalls();
    Canvas* window = CanvasOpenWindowKept();
    DrawHistoryChart(window, HistoryNow());
    CanvasCloseWindow(window);
    std::vector<std::pair<CanvasOp, std::array<int, 8>>> onWindow;
    std::string shown;
    for (const CanvasCall& call : CanvasCalls) {
        if (call.canvas == CanvasCalls.back().canvas && call.op != CanvasOp::CLOSE)
            onWindow.push_back({call.op, call.args});
        shown += call.text.starts_with("Now") ? call.text : "";
    }
    EXPECT_EQ(onWindow, (decltype(onWindow){{CanvasOp::COPY, {0, 36, 794, 440}}}));
    EXPECT_EQ(shown, "Now -.--   Lowest -.--   Highest -.--   Mean -.--");
}

} // namespace
