// The history chart: lambda over a time window, drawn over the dial's scale with the target
// band, a 10 s time grid, lambda on the left and the AFR of a stoichiometric factor on the
// right, and the window's present, lowest, highest and mean lambda below. It draws columns that
// a source has reduced its samples to (the live ring of display/live_history.h is one); it reads
// no clock, no setting and no sample store of its own.
#pragma once

#include "display/canvas.h"
#include "display/lambda_scale.h"

#include <array>
#include <cstdint>

// The chart's pixels: one column per pixel, 5 pixels per hundredth of lambda.
constexpr int HISTORY_LEFT = 80;
constexpr int HISTORY_TOP = 60;
constexpr int HISTORY_BOTTOM = 380; // lambda 0.68; 1.32 is at HISTORY_TOP
constexpr int HISTORY_COLUMNS = 600;
// What the chart covers with its scales, axis titles, time labels and figures, from under the
// view's title to above the dial view's readouts: each drawing replaces all of it.
constexpr int HISTORY_AREA_LEFT = 0;
constexpr int HISTORY_AREA_TOP = 36;
constexpr int HISTORY_AREA_RIGHT = 794; // the main window's client width
constexpr int HISTORY_AREA_BOTTOM = 440;
// Samples more than this many columns apart are an outage: the trace has a gap there.
constexpr int HISTORY_OUTAGE_COLUMNS = 3;

// What a column's time holds: the lowest, highest and last lambda in hundredths, their sum and
// their count. A column without samples is a gap.
struct ChartColumn {
    int32_t count = 0;
    int32_t lowX100 = 0;
    int32_t highX100 = 0;
    int32_t lastX100 = 0;
    int64_t sumX100 = 0;
};
void AddToColumn(ChartColumn& column, int32_t lambdaX100);

// The time the chart spans: HISTORY_COLUMNS columns of columnSeconds each, the newest holding
// the slot of endSeconds. A slot is a column's time counted in whole columns from the source's
// clock's start (negative before it), so that samples fall into columns the same way whenever
// the window is drawn.
struct ChartWindow {
    double endSeconds;
    double columnSeconds;
};
int64_t ChartSlot(double seconds, double columnSeconds);
// The slot of the window's oldest column: a sample of slot s goes to column s minus this, when
// that is a column of the window.
int64_t ChartFirstSlot(const ChartWindow& window);

struct HistoryChart {
    ChartWindow window;
    std::array<ChartColumn, HISTORY_COLUMNS> columns; // the oldest first, the newest last
    TargetBand band;                                  // as drawn (DrawnTargetBand)
    int32_t factorX100;                               // the AFR scale's stoichiometric factor
    bool stale = false; // the source's values are out of date: the figures show dashes
    // A recorded file's chart (display/recording_view.h) sets these: the time axis reads the
    // file's own seconds, a line at every multiple of fileStepSeconds; the trace breaks only
    // where breaks says, since its source knows the time between rows; no figures are drawn
    // (the view has its own). 0 for the live chart.
    double fileStepSeconds = 0.0;
    std::array<bool, HISTORY_COLUMNS> breaks{};
};

// The chart and the figures below it, drawn off the screen and put on canvas in one copy. The
// time labels count back from the window's end: "now", "-30 s" and so on; a recorded file's
// read its own time.
void DrawChart(Canvas* canvas, const HistoryChart& chart);
