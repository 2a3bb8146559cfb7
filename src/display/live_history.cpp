// The Live History view. Each column of the ring holds what arrived in its 0.2 s: the lowest,
// highest and last lambda, their sum and count, and which 0.2 s it is (so a column left from an
// earlier pass of the ring is told from a fresh one). A redraw copies the ring under its lock
// and draws the whole chart: at most ten times a second, a few hundred lines.
#include "display/live_history.h"

#include "display/display_thread.h"
#include "display/lambda_scale.h"
#include "display/status_line.h"
#include "link/link.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace {

constexpr int HISTORY_RIGHT = HISTORY_LEFT + HISTORY_COLUMNS; // the newest column is one left
constexpr int PIXELS_PER_HUNDREDTH = 5;
constexpr int LABEL_STEP_X100 = 8;
constexpr int GRID_COLUMNS = 50;    // 10 s
constexpr int TIME_LABEL_GRIDS = 3; // a time label every 30 s
constexpr int FIGURES_Y = 420;
constexpr double REDRAW_INTERVAL_S = 0.1;
constexpr int32_t START_FACTOR_X100 = 1470;

constexpr Colour GridColour = Rgb(160, 160, 160);

struct HistoryColumn {
    int64_t slot = -1; // the 0.2 s it holds, counted from the clock's start
    int32_t lowX100 = 0;
    int32_t highX100 = 0;
    int32_t lastX100 = 0;
    int64_t sumX100 = 0;
    int32_t count = 0;
};
using HistoryRing = std::array<HistoryColumn, HISTORY_COLUMNS>;

std::mutex HistoryLock;
HistoryRing History;
int32_t FactorX100 = START_FACTOR_X100;
double LastRedraw = -1.0;

int64_t SlotOf(double seconds) {
    return static_cast<int64_t>(std::floor(seconds / HISTORY_COLUMN_S));
}

// A slot's column in the ring; slots before the clock's start are negative and wrap too.
size_t ColumnOf(int64_t slot) {
    return static_cast<size_t>((slot % HISTORY_COLUMNS + HISTORY_COLUMNS) % HISTORY_COLUMNS);
}

int YOfX100(int32_t lambdaX100) {
    return HISTORY_BOTTOM -
           (std::clamp(lambdaX100, SCALE_MIN_X100, SCALE_MAX_X100) - SCALE_MIN_X100) *
               PIXELS_PER_HUNDREDTH;
}

int YOfLambda(double lambda) {
    return HISTORY_BOTTOM - static_cast<int>(std::lround((ClampToScale(lambda) - ScaleMin) * 100 *
                                                         PIXELS_PER_HUNDREDTH));
}

// The target band as the dial draws it. The settings are only read here.
void DrawBand(Canvas* canvas) {
    TargetBand band = DrawnTargetBand(TargetLow.load(std::memory_order_acquire),
                                      TargetHigh.load(std::memory_order_acquire));
    CanvasSetPen(canvas, 1, BandColour);
    CanvasSetBrush(canvas, BandColour);
    CanvasRectangle(canvas, HISTORY_LEFT, YOfLambda(band.high), HISTORY_RIGHT,
                    YOfLambda(band.low) + 1);
}

void DrawGrid(Canvas* canvas, int32_t factorX100) {
    CanvasSetPen(canvas, 1, GridColour);
    for (int x = HISTORY_RIGHT - 1; x >= HISTORY_LEFT; x -= GRID_COLUMNS) {
        CanvasMoveTo(canvas, x, HISTORY_TOP);
        CanvasLineTo(canvas, x, HISTORY_BOTTOM);
    }
    CanvasSetFont(canvas, FONT_OEM_FIXED);
    std::array<char, 16> label;
    for (int x100 = SCALE_MIN_X100; x100 <= SCALE_MAX_X100; x100 += LABEL_STEP_X100) {
        int y = YOfX100(x100);
        CanvasMoveTo(canvas, HISTORY_LEFT, y);
        CanvasLineTo(canvas, HISTORY_RIGHT, y);
        int length = std::snprintf(label.data(), label.size(), "%d.%02d", x100 / 100, x100 % 100);
        CanvasText(canvas, HISTORY_LEFT - 40, y - BLOCK_CELL_HEIGHT / 2,
                   std::string_view(label.data(), static_cast<size_t>(length)));
        length = std::snprintf(label.data(), label.size(), "%4.1f",
                               x100 * static_cast<double>(factorX100) * 1e-4);
        CanvasText(canvas, HISTORY_RIGHT + 8, y - BLOCK_CELL_HEIGHT / 2,
                   std::string_view(label.data(), static_cast<size_t>(length)));
    }
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    for (int grid = 0; grid * GRID_COLUMNS <= HISTORY_COLUMNS; grid += TIME_LABEL_GRIDS) {
        int length = grid == 0 ? std::snprintf(label.data(), label.size(), "now")
                               : std::snprintf(label.data(), label.size(), "-%d s", grid * 10);
        CanvasText(canvas, std::max(HISTORY_RIGHT - 1 - grid * GRID_COLUMNS, HISTORY_LEFT),
                   HISTORY_BOTTOM + 6, std::string_view(label.data(), static_cast<size_t>(length)));
    }
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

// The columns from the oldest to the newest: a line from each to the next unless an outage
// lies between them; a column that starts the trace anew is a dot.
void DrawTrace(Canvas* canvas, const HistoryRing& ring, int64_t newest) {
    CanvasSetPen(canvas, 2, NeedleColour); // the trace as the needle
    int64_t previous = -1;
    for (int64_t slot = newest - HISTORY_COLUMNS + 1; slot <= newest; ++slot) {
        const HistoryColumn& column = ring[ColumnOf(slot)];
        if (slot < 0 || column.slot != slot)
            continue;
        int x = HISTORY_RIGHT - 1 - static_cast<int>(newest - slot);
        int y = YOfX100(column.lastX100);
        if (previous >= 0 && slot - previous <= HISTORY_OUTAGE_COLUMNS) {
            CanvasLineTo(canvas, x, y);
        } else {
            CanvasMoveTo(canvas, x, y);
            CanvasLineTo(canvas, x + 1, y);
            CanvasMoveTo(canvas, x, y);
        }
        previous = slot;
    }
}

void DrawFigures(Canvas* canvas, const HistoryRing& ring, int64_t newest) {
    int32_t low = 0, high = 0, present = 0;
    int64_t sum = 0, count = 0, presentSlot = -1;
    for (const HistoryColumn& column : ring) {
        if (column.slot < 0 || column.slot > newest || newest - column.slot >= HISTORY_COLUMNS)
            continue;
        low = count == 0 ? column.lowX100 : std::min(low, column.lowX100);
        high = count == 0 ? column.highX100 : std::max(high, column.highX100);
        sum += column.sumX100;
        count += column.count;
        if (column.slot > presentSlot) {
            presentSlot = column.slot;
            present = column.lastX100;
        }
    }
    std::array<char, 96> text;
    int length;
    if (count == 0) {
        length = std::snprintf(text.data(), text.size(),
                               "Now -.--   Lowest -.--   Highest -.--   Mean -.--");
    } else {
        // Figures beyond the readout's 9.99 show as it, so the line keeps its length.
        auto shown = [](double x100) { return std::min(x100, 999.0) * 0.01; };
        length = std::snprintf(text.data(), text.size(),
                               "Now %4.2f   Lowest %4.2f   Highest %4.2f   Mean %4.2f",
                               shown(present), shown(low), shown(high),
                               shown(static_cast<double>(sum) / static_cast<double>(count)));
    }
    CanvasSetFont(canvas, FONT_COURIER);
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    CanvasText(canvas, HISTORY_LEFT + HISTORY_COLUMNS / 2, FIGURES_Y,
               std::string_view(text.data(), static_cast<size_t>(length)));
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

} // namespace

void ResetHistory() {
    std::lock_guard<std::mutex> hold(HistoryLock);
    History.fill(HistoryColumn{});
    FactorX100 = START_FACTOR_X100;
    LastRedraw = -1.0;
}

void AddHistorySample(double seconds, int32_t lambdaX100, int32_t factorX100) {
    int64_t slot = SlotOf(seconds);
    std::lock_guard<std::mutex> hold(HistoryLock);
    HistoryColumn& column = History[ColumnOf(slot)];
    if (column.slot != slot) {
        column = HistoryColumn{slot, lambdaX100, lambdaX100, lambdaX100, 0, 0};
    }
    column.lowX100 = std::min(column.lowX100, lambdaX100);
    column.highX100 = std::max(column.highX100, lambdaX100);
    column.lastX100 = lambdaX100;
    column.sumX100 += lambdaX100;
    ++column.count;
    FactorX100 = factorX100;
}

double HistoryNow() {
    static const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

void DrawHistoryChart(Canvas* canvas, double now) {
    HistoryRing ring;
    int32_t factorX100;
    {
        std::lock_guard<std::mutex> hold(HistoryLock);
        ring = History;
        factorX100 = FactorX100;
    }
    int64_t newest = SlotOf(now);
    Colour previousText = CanvasSetTextColour(canvas, ViewTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    CanvasSetPen(canvas, 1, OutlineColour);
    CanvasSetBrush(canvas, DialFaceColour);
    CanvasRectangle(canvas, HISTORY_LEFT - 1, HISTORY_TOP - 1, HISTORY_RIGHT + 1,
                    HISTORY_BOTTOM + 2);
    DrawBand(canvas);
    DrawGrid(canvas, factorX100);
    DrawTrace(canvas, ring, newest);
    DrawFigures(canvas, ring, newest);
    CanvasRestoreObjects(canvas);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}

void PaintHistoryView(Canvas* canvas, double now) {
    constexpr std::string_view TITLE = "Live History";
    Colour previousText = CanvasSetTextColour(canvas, ViewTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_LARGE);
    CanvasText(canvas, ClientWidth / 2 - CanvasTextWidth(canvas, TITLE) / 2, 10, TITLE);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
    DrawHistoryChart(canvas, now);
    CanvasSetFont(canvas, previousFont);
}

void KeepHistorySample(const LiveSample& sample) {
    double now = HistoryNow();
    AddHistorySample(now, sample.lambdaX100, sample.factorX100);
    // Only the display thread hands out samples, so the redraw time needs no lock.
    if (ViewMode.load(std::memory_order_acquire) != VIEW_LIVE_HISTORY ||
        now - LastRedraw < REDRAW_INTERVAL_S)
        return;
    LastRedraw = now;
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawHistoryChart(canvas, now);
    CanvasCloseWindow(canvas);
}
