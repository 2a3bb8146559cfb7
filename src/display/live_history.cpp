// The Live History view's source. Each slot of the ring holds the column of what arrived in
// its 0.2 s and which 0.2 s it is (so a column left from an earlier pass of the ring is told
// from a fresh one). A redraw copies the window's columns under the ring's lock and draws the
// chart from the copy: at most ten times a second.
#include "display/live_history.h"

#include "display/status_line.h"
#include "settings/config.h"

#include <array>
#include <chrono>
#include <mutex>
#include <string_view>

namespace {

constexpr double REDRAW_INTERVAL_S = 0.1;
constexpr int32_t START_FACTOR_X100 = 1470;

struct HistorySlot {
    int64_t slot = -1; // the 0.2 s it holds, counted from the clock's start
    ChartColumn column;
};

std::mutex HistoryLock;
std::array<HistorySlot, HISTORY_COLUMNS> History;
int32_t FactorX100 = START_FACTOR_X100;
double LastRedraw = -1.0;

// A slot's place in the ring; slots before the clock's start are negative and wrap too.
size_t RingIndexOf(int64_t slot) {
    return static_cast<size_t>((slot % HISTORY_COLUMNS + HISTORY_COLUMNS) % HISTORY_COLUMNS);
}

// The chart of the 120 s up to now: the ring's columns of that window, gaps where a slot holds
// another pass's column or none.
void CollectHistory(double now, HistoryChart& chart) {
    chart.window = {now, HISTORY_COLUMN_S};
    int64_t oldest = ChartFirstSlot(chart.window);
    std::lock_guard<std::mutex> hold(HistoryLock);
    for (size_t index = 0; index < chart.columns.size(); ++index) {
        int64_t slot = oldest + static_cast<int64_t>(index);
        const HistorySlot& kept = History[RingIndexOf(slot)];
        chart.columns[index] = slot >= 0 && kept.slot == slot ? kept.column : ChartColumn{};
    }
    chart.factorX100 = FactorX100;
    // The figures follow the dial: no figure stands for the unit while its values are stale.
    chart.stale = LiveValuesStale();
}

} // namespace

void ResetHistory() {
    std::lock_guard<std::mutex> hold(HistoryLock);
    History.fill(HistorySlot{});
    FactorX100 = START_FACTOR_X100;
    LastRedraw = -1.0;
}

void AddHistorySample(double seconds, int32_t lambdaX100, int32_t factorX100) {
    int64_t slot = ChartSlot(seconds, HISTORY_COLUMN_S);
    std::lock_guard<std::mutex> hold(HistoryLock);
    HistorySlot& kept = History[RingIndexOf(slot)];
    if (kept.slot != slot)
        kept = HistorySlot{slot, ChartColumn{}};
    AddToColumn(kept.column, lambdaX100);
    FactorX100 = factorX100;
}

double HistoryNow() {
    static const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

void DrawHistoryChart(Canvas* canvas, double now) {
    HistoryChart chart;
    CollectHistory(now, chart);
    chart.band = DrawnTargetBand(TargetLow.load(std::memory_order_acquire),
                                 TargetHigh.load(std::memory_order_acquire));
    DrawChart(canvas, chart);
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
    AddHistorySample(HistoryNow(), sample.lambdaX100, sample.factorX100);
}

bool HistoryRedrawDue(double now) {
    std::lock_guard<std::mutex> hold(HistoryLock);
    if (now - LastRedraw < REDRAW_INTERVAL_S)
        return false;
    LastRedraw = now;
    return true;
}
