// The Recording view's drawing and its place in the file. A redraw collects the columns of the
// rows on screen (a binary search finds the first, so a zoomed view reads only its own rows),
// draws them on the history chart, then the markers, the cursor and the figures over it.
#include "display/recording_view.h"

#include "display/csv_file.h"
#include "display/history_chart.h"
#include "display/status_line.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

namespace {

constexpr Colour MarkerColour = Rgb(0, 80, 200);
constexpr Colour CursorColour = Rgb(20, 20, 20);
// The time axis's step: the smallest of these that puts at most TIME_LINES lines on screen.
constexpr std::array<double, 16> TimeSteps = {0.5, 1,   2,   5,   10,   15,   30,   60,
                                              120, 300, 600, 900, 1800, 3600, 7200, 14400};
constexpr double TIME_LINES = 8;
constexpr int CURSOR_TEXT_Y = HISTORY_BOTTOM - 30;
constexpr size_t NAME_SIZE = 256;
constexpr int FACTS_Y = 500; // under the scroll bar
constexpr int FIGURES_LINE_HEIGHT = 20;

Recording Review;
std::array<char, NAME_SIZE> Name{};
double Start = 0.0;
double Span = REVIEW_MIN_SPAN_S;
int CursorX = -1;
int64_t WrittenAt = -1; // the file's last write, seconds since 1970; -1 unknown
long CurrentMark = -1;  // the marker the last jump centred, until the view moves otherwise

double WholeSpan() {
    return std::max(ReviewLast() - ReviewFirst(), REVIEW_MIN_SPAN_S);
}

// The columns end half a column after the span, so that the first column starts at Start.
ChartWindow Window() {
    double column = Span / HISTORY_COLUMNS;
    return {Start + (HISTORY_COLUMNS - 0.5) * column, column};
}

// The column of row index in the window starting at slot first. The span's end is on screen:
// a row at that time, in the slot after the last column, is drawn in the last.
int64_t ColumnOf(size_t index, const ChartWindow& window, int64_t first) {
    double seconds = Review.rows[index].seconds;
    int64_t column = ChartSlot(seconds, window.columnSeconds) - first;
    bool atEnd = column == HISTORY_COLUMNS && seconds <= Start + Span + 1e-9;
    return atEnd ? HISTORY_COLUMNS - 1 : column;
}

// The rows of the window: [first, end).
std::pair<size_t, size_t> RowsOnScreen(const ChartWindow& window) {
    int64_t first = ChartFirstSlot(window);
    size_t begin = RowAtOrAfter(Review, static_cast<double>(first) * window.columnSeconds);
    size_t end = RowAtOrAfter(Review, static_cast<double>(first + HISTORY_COLUMNS + 1) *
                                          window.columnSeconds);
    // The slots decide, should a row on a column's edge fall the other way in the division.
    while (begin > 0 && ColumnOf(begin - 1, window, first) >= 0)
        --begin;
    while (begin < end && ColumnOf(begin, window, first) < 0)
        ++begin;
    while (end > begin && ColumnOf(end - 1, window, first) >= HISTORY_COLUMNS)
        --end;
    while (end < Review.rows.size() && ColumnOf(end, window, first) < HISTORY_COLUMNS)
        ++end;
    return {begin, end};
}

void CollectReview(HistoryChart& chart, std::pair<size_t, size_t> rows) {
    int64_t first = ChartFirstSlot(chart.window);
    chart.columns.fill(ChartColumn{});
    chart.breaks.fill(false);
    for (size_t index = rows.first; index < rows.second; ++index) {
        size_t column = static_cast<size_t>(ColumnOf(index, chart.window, first));
        if (index > 0 && IsRowGap(Review.rows[index - 1].seconds, Review.rows[index].seconds))
            chart.breaks[column] = true;
        AddToColumn(chart.columns[column], Review.rows[index].lambdaX100);
    }
    size_t scaleRow = rows.second > rows.first ? rows.second - 1 : 0;
    chart.factorX100 = Review.rows.empty() ? 1470 : Review.rows[scaleRow].factorX100;
    chart.fileStepSeconds = TimeSteps.back();
    for (double step : TimeSteps)
        if (Span / step <= TIME_LINES) {
            chart.fileStepSeconds = step;
            break;
        }
}

void DrawText(Canvas* canvas, int x, int y, const char* text) {
    CanvasText(canvas, x, y, std::string_view(text, std::strlen(text)));
}

void DrawMarkers(Canvas* canvas, const ChartWindow& window) {
    int64_t first = ChartFirstSlot(window);
    CanvasSetPen(canvas, 1, MarkerColour);
    CanvasSetTextColour(canvas, MarkerColour);
    CanvasSetFont(canvas, FONT_OEM_FIXED);
    std::array<char, 12> number;
    for (uint32_t index : Review.markRows) {
        int64_t column = ColumnOf(index, window, first);
        if (column < 0 || column >= HISTORY_COLUMNS)
            continue;
        int x = HISTORY_LEFT + static_cast<int>(column);
        CanvasMoveTo(canvas, x, HISTORY_TOP);
        CanvasLineTo(canvas, x, HISTORY_BOTTOM);
        std::snprintf(number.data(), number.size(), "%u", Review.rows[index].mark);
        DrawText(canvas, x + 3, HISTORY_TOP + 2, number.data());
    }
}

// The line at the cursor and, beside it, the last row up to its column: the one the trace shows
// there, or the row it comes from across a column without one.
void DrawCursor(Canvas* canvas, const ChartWindow& window, size_t end) {
    if (CursorX < HISTORY_LEFT || CursorX >= HISTORY_LEFT + HISTORY_COLUMNS)
        return;
    int64_t first = ChartFirstSlot(window);
    int64_t column = CursorX - HISTORY_LEFT;
    auto after =
        std::partition_point(Review.rows.begin(), Review.rows.begin() + static_cast<long>(end),
                             [&](const RecordedRow& row) {
                                 return ColumnOf(static_cast<size_t>(&row - Review.rows.data()),
                                                 window, first) <= column;
                             });
    std::array<std::array<char, 48>, 2> lines{};
    if (after == Review.rows.begin()) {
        std::snprintf(lines[0].data(), lines[0].size(), "%.3f s", ReviewTimeAt(CursorX));
        std::snprintf(lines[1].data(), lines[1].size(), "no row yet");
    } else {
        const RecordedRow& row = *(after - 1);
        std::snprintf(lines[0].data(), lines[0].size(), "%.3f s  lambda %d.%02d", row.seconds,
                      row.lambdaX100 / 100, row.lambdaX100 % 100);
        std::snprintf(lines[1].data(), lines[1].size(), "AFR %d.%d  raw %.4f", row.afrX10 / 10,
                      row.afrX10 % 10, static_cast<double>(row.lambdaRaw));
    }
    CanvasSetPen(canvas, 1, CursorColour);
    CanvasMoveTo(canvas, CursorX, HISTORY_TOP);
    CanvasLineTo(canvas, CursorX, HISTORY_BOTTOM);
    CanvasSetFont(canvas, FONT_OEM_FIXED);
    CanvasSetTextColour(canvas, CursorColour);
    int width = 0;
    for (const auto& line : lines)
        width = std::max(
            width,
            CanvasTextWidth(canvas, std::string_view(line.data(), std::strlen(line.data()))));
    // Beside the line, on the side with room for it: either side has half the chart.
    int x =
        CursorX + 6 + width <= HISTORY_LEFT + HISTORY_COLUMNS ? CursorX + 6 : CursorX - 6 - width;
    for (size_t line = 0; line < lines.size(); ++line)
        DrawText(canvas, x, CURSOR_TEXT_Y + static_cast<int>(line) * BLOCK_CELL_HEIGHT,
                 lines[line].data());
}

void DrawFigures(Canvas* canvas, std::pair<size_t, size_t> rows) {
    TargetBand band = OrderTargets(TargetLow.load(std::memory_order_acquire),
                                   TargetHigh.load(std::memory_order_acquire));
    RecordingFigures figures = FigureRows(Review, rows.first, rows.second, band);
    std::array<char, 96> lines[2];
    if (figures.rows == 0) {
        std::snprintf(lines[0].data(), lines[0].size(), "No rows on screen");
        lines[1][0] = '\0';
    } else {
        std::snprintf(lines[0].data(), lines[0].size(), "Lowest %.2f   Highest %.2f   Mean %.2f",
                      figures.lambdaMin, figures.lambdaMax, figures.lambdaMean);
        std::snprintf(lines[1].data(), lines[1].size(),
                      "In band %.0f%%   Leaner %.0f%%   Richer %.0f%%", figures.shareInBand * 100,
                      figures.shareLean * 100, figures.shareRich * 100);
    }
    CanvasSetFont(canvas, FONT_COURIER);
    CanvasSetTextColour(canvas, ViewTextColour);
    CanvasSetBackColour(canvas, BackColour);
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    // On the off-screen canvas, filled afresh for each redraw: nothing older shows through.
    for (int line = 0; line < 2; ++line)
        DrawText(canvas, HISTORY_LEFT + HISTORY_COLUMNS / 2,
                 REVIEW_FIGURES_Y + line * FIGURES_LINE_HEIGHT, lines[line].data());
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

// The line under the scroll bar: when the recording started, its length, rows and markers.
void DrawFacts(Canvas* canvas) {
    long length = std::lround(ReviewLast() - ReviewFirst());
    // time_s counts from the recording's start, and the recorder writes its last rows as it
    // ends: the start is the file's last write less the last time_s.
    std::array<char, 32> started{};
    std::time_t start = static_cast<std::time_t>(WrittenAt - std::lround(ReviewLast()));
    const std::tm* local = WrittenAt < 0 ? nullptr : std::localtime(&start);
    if (local == nullptr ||
        std::strftime(started.data(), started.size(), "%Y-%m-%d %H:%M:%S", local) == 0)
        std::snprintf(started.data(), started.size(), "%s", "-");
    std::array<char, 112> facts;
    std::snprintf(facts.data(), facts.size(),
                  "Started %s, length %ld:%02ld:%02ld, %zu rows, %zu markers", started.data(),
                  length / 3600, length / 60 % 60, length % 60, Review.rows.size(),
                  Review.markRows.size());
    CanvasSetTextColour(canvas, ViewTextColour);
    CanvasSetBackColour(canvas, BackColour);
    CanvasSetFont(canvas, FONT_COURIER);
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    DrawText(canvas, ClientWidth / 2, FACTS_Y, facts.data());
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

} // namespace

int OpenReview(const char* path, RecordingFault& fault) {
    Recording read;
    if (ReadRecording(path, read, fault) != 0)
        return -1;
    // The rows are handed over, not copied: an open file is held once.
    Review = std::move(read);
    std::string_view name(path);
    size_t separator = name.find_last_of("\\/");
    name = separator == std::string_view::npos ? name : name.substr(separator + 1);
    Name.fill('\0');
    std::memcpy(Name.data(), name.data(), std::min(name.size(), Name.size() - 1));
    WrittenAt = FileWrittenAt(path);
    Span = WholeSpan();
    Start = ReviewFirst();
    CursorX = -1;
    CurrentMark = -1;
    return 0;
}

bool ReviewOpen() {
    return !Review.rows.empty();
}

const Recording& ReviewRecording() {
    return Review;
}

double ReviewStart() {
    return Start;
}

double ReviewSpan() {
    return Span;
}

double ReviewFirst() {
    return Review.rows.empty() ? 0.0 : Review.rows.front().seconds;
}

double ReviewLast() {
    return Review.rows.empty() ? 0.0 : Review.rows.back().seconds;
}

double ReviewTimeAt(int x) {
    ChartWindow window = Window();
    return static_cast<double>(ChartFirstSlot(window) + (x - HISTORY_LEFT)) * window.columnSeconds;
}

void ZoomReview(int steps, int x) {
    if (x < HISTORY_LEFT || x >= HISTORY_LEFT + HISTORY_COLUMNS)
        x = HISTORY_LEFT + HISTORY_COLUMNS / 2;
    double held = ReviewTimeAt(x);
    Span = std::clamp(Span * std::ldexp(1.0, -steps), REVIEW_MIN_SPAN_S, WholeSpan());
    ScrollReviewTo(held - (x - HISTORY_LEFT) * Span / HISTORY_COLUMNS);
}

void ScrollReviewTo(double seconds) {
    Start = std::clamp(seconds, ReviewFirst(), std::max(ReviewFirst(), ReviewLast() - Span));
    CurrentMark = -1;
}

int JumpToMarker(int direction) {
    const std::vector<uint32_t>& marks = Review.markRows;
    double middle = Start + Span / 2;
    long next = -1;
    if (CurrentMark >= 0) {
        next = CurrentMark + direction;
    } else if (direction > 0) {
        next = static_cast<long>(
            std::find_if(marks.begin(), marks.end(),
                         [&](uint32_t row) { return Review.rows[row].seconds > middle; }) -
            marks.begin());
    } else {
        next = static_cast<long>(
                   std::find_if(marks.rbegin(), marks.rend(),
                                [&](uint32_t row) { return Review.rows[row].seconds < middle; })
                       .base() -
                   marks.begin()) -
               1;
    }
    if (next < 0 || next >= static_cast<long>(marks.size()))
        return 0;
    const RecordedRow& row = Review.rows[marks[static_cast<size_t>(next)]];
    ScrollReviewTo(row.seconds - Span / 2);
    CurrentMark = next;
    return row.mark;
}

void SetReviewCursor(int x) {
    CursorX = x >= HISTORY_LEFT && x < HISTORY_LEFT + HISTORY_COLUMNS ? x : -1;
}

void DrawReviewChart(Canvas* canvas) {
    if (!ReviewOpen())
        return;
    HistoryChart chart;
    chart.window = Window();
    std::pair<size_t, size_t> rows = RowsOnScreen(chart.window);
    CollectReview(chart, rows);
    chart.band = DrawnTargetBand(TargetLow.load(std::memory_order_acquire),
                                 TargetHigh.load(std::memory_order_acquire));
    // The chart and the figures below it are drawn off the screen and put on
    // the window in one copy, so that a view that moves neither flickers nor leaves old labels.
    Canvas* window = canvas;
    Canvas* offscreen =
        CanvasOpenOffscreen(window, HISTORY_AREA_LEFT, HISTORY_AREA_TOP, HISTORY_AREA_RIGHT,
                            REVIEW_FIGURES_Y + 2 * FIGURES_LINE_HEIGHT);
    if (offscreen != nullptr)
        canvas = offscreen;
    DrawChart(canvas, chart);
    Colour previousText = CanvasSetTextColour(canvas, ViewTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, DialFaceColour);
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_OEM_FIXED);
    DrawMarkers(canvas, chart.window);
    DrawCursor(canvas, chart.window, rows.second);
    DrawFigures(canvas, rows);
    CanvasRestoreObjects(canvas);
    CanvasCloseOffscreen(offscreen);
    canvas = window;
    CanvasSetFont(canvas, previousFont);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}

void PaintReviewView(Canvas* canvas) {
    Colour previousText = CanvasSetTextColour(canvas, ViewTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_LARGE);
    std::array<char, NAME_SIZE + 16> title;
    std::snprintf(title.data(), title.size(), "Recording: %s", Name.data());
    std::string_view text(title.data(), std::strlen(title.data()));
    CanvasText(canvas, ClientWidth / 2 - CanvasTextWidth(canvas, text) / 2, 4, text);
    DrawFacts(canvas);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
    DrawReviewChart(canvas);
    CanvasSetFont(canvas, previousFont);
}
