// The history chart's drawing: the face, the band, the grid with its scales and time labels,
// the trace through the columns' last values and the window's figures. A redraw draws the whole
// chart: a few hundred lines.
#include "display/history_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace {

constexpr int HISTORY_RIGHT = HISTORY_LEFT + HISTORY_COLUMNS; // the newest column is one left
constexpr int PIXELS_PER_HUNDREDTH = 5;
constexpr int LABEL_STEP_X100 = 8;
constexpr int GRID_COLUMNS = 50;    // 10 s of the live ring's columns
constexpr int TIME_LABEL_GRIDS = 3; // a time label on every third grid line
constexpr int FIGURES_Y = 420;
constexpr int LABEL_GAP = 6; // between the chart and its scales' labels

constexpr Colour GridColour = Rgb(160, 160, 160);

std::mutex ChartLayerLock;

int YOfX100(int32_t lambdaX100) {
    return HISTORY_BOTTOM -
           (std::clamp(lambdaX100, SCALE_MIN_X100, SCALE_MAX_X100) - SCALE_MIN_X100) *
               PIXELS_PER_HUNDREDTH;
}

int YOfLambda(double lambda) {
    return HISTORY_BOTTOM - static_cast<int>(std::lround((ClampToScale(lambda) - ScaleMin) * 100 *
                                                         PIXELS_PER_HUNDREDTH));
}

void DrawBand(Canvas* canvas, TargetBand band) {
    CanvasSetPen(canvas, 1, BandColour);
    CanvasSetBrush(canvas, BandColour);
    CanvasRectangle(canvas, HISTORY_LEFT, YOfLambda(band.high), HISTORY_RIGHT,
                    YOfLambda(band.low) + 1);
}

// The file's time at every multiple of the step: "45 s", "1:30", "1:02:00".
void DrawFileTimes(Canvas* canvas, const HistoryChart& chart) {
    double step = chart.fileStepSeconds;
    int64_t first = ChartFirstSlot(chart.window);
    std::array<char, 16> label;
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    // At most a line a column, whatever step the caller asks for.
    double k = std::ceil(static_cast<double>(first) * chart.window.columnSeconds / step);
    for (int line = 0; line < HISTORY_COLUMNS; ++line, ++k) {
        double t = k * step;
        int x = HISTORY_LEFT + static_cast<int>(ChartSlot(t, chart.window.columnSeconds) - first);
        if (x >= HISTORY_RIGHT)
            break;
        CanvasMoveTo(canvas, x, HISTORY_TOP);
        CanvasLineTo(canvas, x, HISTORY_BOTTOM);
        long whole = std::lround(std::floor(t));
        int length = t >= 3600 ? std::snprintf(label.data(), label.size(), "%ld:%02ld:%02ld",
                                               whole / 3600, whole / 60 % 60, whole % 60)
                     : t >= 60 ? std::snprintf(label.data(), label.size(), "%ld:%02ld", whole / 60,
                                               whole % 60)
                               : std::snprintf(label.data(), label.size(), "%g s", t);
        CanvasText(canvas, x, HISTORY_BOTTOM + 6,
                   std::string_view(label.data(), static_cast<size_t>(length)));
    }
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

void DrawGrid(Canvas* canvas, const HistoryChart& chart) {
    CanvasSetPen(canvas, 1, GridColour);
    bool file = chart.fileStepSeconds > 0;
    for (int x = HISTORY_RIGHT - 1; !file && x >= HISTORY_LEFT; x -= GRID_COLUMNS) {
        CanvasMoveTo(canvas, x, HISTORY_TOP);
        CanvasLineTo(canvas, x, HISTORY_BOTTOM);
    }
    // The scales in the figures' font, lambda's ending at the chart's left, the AFR's starting at
    // its right, each with its title above it.
    CanvasSetFont(canvas, FONT_COURIER);
    int height = 0, averageWidth = 0;
    CanvasTextMetrics(canvas, &height, &averageWidth);
    auto leftOfChart = [canvas](std::string_view text) {
        return HISTORY_LEFT - LABEL_GAP - CanvasTextWidth(canvas, text);
    };
    std::array<char, 16> label;
    for (int x100 = SCALE_MIN_X100; x100 <= SCALE_MAX_X100; x100 += LABEL_STEP_X100) {
        int y = YOfX100(x100);
        CanvasMoveTo(canvas, HISTORY_LEFT, y);
        CanvasLineTo(canvas, HISTORY_RIGHT, y);
        int length = std::snprintf(label.data(), label.size(), "%d.%02d", x100 / 100, x100 % 100);
        std::string_view text(label.data(), static_cast<size_t>(length));
        CanvasText(canvas, leftOfChart(text), y - height / 2, text);
        length = std::snprintf(label.data(), label.size(), "%.1f",
                               x100 * static_cast<double>(chart.factorX100) * 1e-4);
        CanvasText(canvas, HISTORY_RIGHT + LABEL_GAP, y - height / 2,
                   std::string_view(label.data(), static_cast<size_t>(length)));
    }
    CanvasText(canvas, leftOfChart("Lambda"), HISTORY_AREA_TOP, "Lambda");
    CanvasText(canvas, HISTORY_RIGHT + LABEL_GAP, HISTORY_AREA_TOP, "AFR");
    if (file) {
        DrawFileTimes(canvas, chart);
        return;
    }
    CanvasSetTextAlign(canvas, ALIGN_CENTRE_TOP);
    for (int grid = 0; grid * GRID_COLUMNS <= HISTORY_COLUMNS; grid += TIME_LABEL_GRIDS) {
        long before = std::lround(grid * GRID_COLUMNS * chart.window.columnSeconds);
        int length = grid == 0 ? std::snprintf(label.data(), label.size(), "now")
                               : std::snprintf(label.data(), label.size(), "-%ld s", before);
        CanvasText(canvas, std::max(HISTORY_RIGHT - 1 - grid * GRID_COLUMNS, HISTORY_LEFT),
                   HISTORY_BOTTOM + 6, std::string_view(label.data(), static_cast<size_t>(length)));
    }
    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
}

// The columns from the oldest to the newest: a line from each to the next unless an outage
// lies between them; a column that starts the trace anew is a dot.
void DrawTrace(Canvas* canvas, const HistoryChart& chart) {
    CanvasSetPen(canvas, 2, NeedleColour); // the trace as the needle
    int previous = -1;
    for (int index = 0; index < HISTORY_COLUMNS; ++index) {
        const ChartColumn& column = chart.columns[static_cast<size_t>(index)];
        if (column.count == 0)
            continue;
        int x = HISTORY_LEFT + index;
        int y = YOfX100(column.lastX100);
        bool joined = chart.fileStepSeconds > 0 ? !chart.breaks[static_cast<size_t>(index)]
                                                : index - previous <= HISTORY_OUTAGE_COLUMNS;
        if (previous >= 0 && joined) {
            CanvasLineTo(canvas, x, y);
        } else {
            CanvasMoveTo(canvas, x, y);
            CanvasLineTo(canvas, x + 1, y);
            CanvasMoveTo(canvas, x, y);
        }
        previous = index;
    }
}

void DrawFigures(Canvas* canvas, const HistoryChart& chart) {
    int32_t low = 0, high = 0, present = 0;
    int64_t sum = 0, count = 0;
    for (const ChartColumn& column : chart.columns) {
        if (column.count == 0)
            continue;
        low = count == 0 ? column.lowX100 : std::min(low, column.lowX100);
        high = count == 0 ? column.highX100 : std::max(high, column.highX100);
        sum += column.sumX100;
        count += column.count;
        present = column.lastX100;
    }
    std::array<char, 96> text;
    int length;
    if (count == 0 || chart.stale) {
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

void AddToColumn(ChartColumn& column, int32_t lambdaX100) {
    column.lowX100 = column.count == 0 ? lambdaX100 : std::min(column.lowX100, lambdaX100);
    column.highX100 = column.count == 0 ? lambdaX100 : std::max(column.highX100, lambdaX100);
    column.lastX100 = lambdaX100;
    column.sumX100 += lambdaX100;
    ++column.count;
}

int64_t ChartSlot(double seconds, double columnSeconds) {
    return static_cast<int64_t>(std::floor(seconds / columnSeconds));
}

int64_t ChartFirstSlot(const ChartWindow& window) {
    return ChartSlot(window.endSeconds, window.columnSeconds) - HISTORY_COLUMNS + 1;
}

void DrawChart(Canvas* target, const HistoryChart& chart) {
    // A redraw is a few hundred calls, up to ten times a second: drawn straight on the window it
    // would show the face blank between them. It is drawn on a kept layer, which keeps its font
    // from one redraw to the next, and put on the target in one copy. The live view's redraws
    // (the decoding thread) and the paints (the main thread) take turns on the layer.
    std::lock_guard<std::mutex> hold(ChartLayerLock);
    bool blank = false;
    Canvas* layer = CanvasOpenLayer(LAYER_CHART, target, HISTORY_AREA_LEFT, HISTORY_AREA_TOP,
                                    HISTORY_AREA_RIGHT, HISTORY_AREA_BOTTOM, &blank);
    Canvas* canvas = layer != nullptr ? layer : target;
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_COURIER);
    Colour previousText = CanvasSetTextColour(canvas, ViewTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    if (layer != nullptr) { // the last redraw's picture goes
        CanvasSetPen(canvas, 1, BackColour);
        CanvasSetBrush(canvas, BackColour);
        CanvasRectangle(canvas, HISTORY_AREA_LEFT, HISTORY_AREA_TOP, HISTORY_AREA_RIGHT,
                        HISTORY_AREA_BOTTOM);
    }
    CanvasSetPen(canvas, 1, OutlineColour);
    CanvasSetBrush(canvas, DialFaceColour);
    CanvasRectangle(canvas, HISTORY_LEFT - 1, HISTORY_TOP - 1, HISTORY_RIGHT + 1,
                    HISTORY_BOTTOM + 2);
    DrawBand(canvas, chart.band);
    DrawGrid(canvas, chart);
    DrawTrace(canvas, chart);
    if (chart.fileStepSeconds == 0)
        DrawFigures(canvas, chart);
    CanvasRestoreObjects(canvas);
    if (layer != nullptr) {
        CanvasCopy(layer, target, HISTORY_AREA_LEFT, HISTORY_AREA_TOP, HISTORY_AREA_RIGHT,
                   HISTORY_AREA_BOTTOM);
        CanvasCloseLayer(layer);
        return;
    }
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
    CanvasSetFont(canvas, previousFont);
}
