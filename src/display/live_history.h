// The Live History view: a strip chart of the last 120 s of the lambda the dial shows, over the
// dial's span, with the target band, a 10 s time grid, lambda on the left and the AFR of the
// current stoichiometric factor on the right, and the present, lowest, highest and mean lambda
// below. The history is kept in a fixed ring of one column per pixel (0.2 s), fed by a live
// stream listener whether or not the view is shown, so it fills while the dial is on screen.
#pragma once

#include "display/canvas.h"
#include "display/live_stream.h"

#include <cstdint>

// The chart's pixels: one column per 0.2 s, 5 pixels per hundredth of lambda.
constexpr int HISTORY_LEFT = 80;
constexpr int HISTORY_TOP = 60;
constexpr int HISTORY_BOTTOM = 380; // lambda 0.68; 1.32 is at HISTORY_TOP
constexpr int HISTORY_COLUMNS = 600;
constexpr double HISTORY_COLUMN_S = 0.2;
// Frames more than this many columns (0.6 s) apart are an outage: the trace has a gap there.
constexpr int HISTORY_OUTAGE_COLUMNS = 3;

// Forgets every sample and the stoichiometric factor (start-up and tests).
void ResetHistory();
// A sample at seconds of the history's clock (HistoryNow): lambda in hundredths as the dial
// shows it, the frame's factor in hundredths.
void AddHistorySample(double seconds, int32_t lambdaX100, int32_t factorX100);
double HistoryNow();

// The whole view as the paint handler draws it after the status line.
void PaintHistoryView(Canvas* canvas, double now);
// The chart and the figures below it, as they stand at now.
void DrawHistoryChart(Canvas* canvas, double now);

// The view's live stream listener: keeps the sample and, while the view is shown, redraws the
// chart into the main window at most ten times a second.
void KeepHistorySample(const LiveSample& sample);
