// The Live History view: the history chart (display/history_chart.h) of the last 120 s of the
// lambda the dial shows, with the AFR of the current stoichiometric factor. Its source is a
// fixed ring of one column per 0.2 s, fed by a live stream listener whether or not the view is
// shown, so it fills while the dial is on screen; its clock is the process's.
#pragma once

#include "display/canvas.h"
#include "display/history_chart.h"
#include "display/live_stream.h"

#include <cstdint>

// The ring's columns: one per 0.2 s.
constexpr double HISTORY_COLUMN_S = 0.2;

// Forgets every sample and the stoichiometric factor (start-up and tests).
void ResetHistory();
// A sample at seconds of the history's clock (HistoryNow): lambda in hundredths as the dial
// shows it, the frame's factor in hundredths.
void AddHistorySample(double seconds, int32_t lambdaX100, int32_t factorX100);
double HistoryNow();

// The whole view as the paint handler draws it after the status line.
void PaintHistoryView(Canvas* canvas, double now);
// The chart of the ring and the figures below it, as they stand at now, with the target band of
// the settings.
void DrawHistoryChart(Canvas* canvas, double now);

// A live stream listener of any front end: keeps the sample, whether or not the view is shown.
void KeepHistorySample(const LiveSample& sample);
// Whether the shown chart is due for a redraw at now: at most ten times a second while frames
// come. The caller draws it (DrawHistoryChart) on a canvas of its own.
bool HistoryRedrawDue(double now);
