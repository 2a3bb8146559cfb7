// The Recording view: a recording read back (display/recording_file.h) on the history chart,
// the time on screen from the whole file down to REVIEW_MIN_SPAN_S, numbered markers, a cursor
// that reads the row under the pointer and the figures of the time on screen. The open
// recording and the view's place in it are process-global, kept by the main thread alone.
#pragma once

#include "display/canvas.h"
#include "display/recording_file.h"

#include <cstddef>
#include <string_view>

constexpr double REVIEW_MIN_SPAN_S = 5.0;
// Below the chart: the figures of the time on screen.
constexpr int REVIEW_FIGURES_Y = 420;

// Reads the file at path and shows the whole of it: 0, or -1 with the fault, the recording
// open before (if any) kept as it was.
int OpenReview(const char* path, RecordingFault& fault);
bool ReviewOpen();
const Recording& ReviewRecording();

// The time on screen: from ReviewStart, ReviewSpan seconds.
double ReviewStart();
double ReviewSpan();
// The recording's first and last time_s.
double ReviewFirst();
double ReviewLast();
// The time at the left edge of a chart pixel column x.
double ReviewTimeAt(int x);
// Halves the span for each step in (steps > 0), doubles it for each step out, keeping the time
// under pixel x where it is (x outside the chart: its middle); the whole file at most,
// REVIEW_MIN_SPAN_S at least.
void ZoomReview(int steps, int x);
// Puts the time on screen's start at seconds, kept inside the file.
void ScrollReviewTo(double seconds);
// Centres the next (direction 1) or previous (-1) marker after or before the middle of the
// screen: its number, or 0 when there is none that way.
int JumpToMarker(int direction);
// The cursor at chart pixel x; a value outside the chart removes it.
void SetReviewCursor(int x);

// The whole view as the paint handler draws it after the status line.
void PaintReviewView(Canvas* canvas);
// The chart, markers, cursor and figures alone (a redraw after a zoom, a scroll or a move).
void DrawReviewChart(Canvas* canvas);
