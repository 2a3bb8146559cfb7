// The Wide Band Setup view's painting. The plots show what the values being edited would give,
// not what the unit holds: every paint draws everything from the values handed in.
#include "wbsetup/setup_plot.h"

#include "display/status_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr Colour GridColour = Rgb(190, 190, 190);

// Both plots span lambda 0.68 to 1.32 over 330 pixels, and 5 V (linear) or 1 V (narrowband)
// over 246 pixels up from y 317.
constexpr int PLOT_A_LEFT = 44;
constexpr int PLOT_B_LEFT = 439;
constexpr int PLOT_WIDTH = 330;
constexpr int PLOT_TOP = 68;
constexpr int PLOT_BOTTOM = 318;
constexpr double LAMBDA_LEFT = 0.68;
constexpr double LAMBDA_RIGHT = 1.32;
constexpr double PIXELS_PER_LAMBDA = 515.625;
constexpr double ZERO_VOLTS_Y = 317;
constexpr double PIXELS_PER_VOLT = 49.2;
constexpr double NB_PIXELS_PER_VOLT = 246;
constexpr double MAX_VOLTS = 5;

constexpr std::array<int, 6> GridRows = {316, 267, 218, 169, 120, 71};
constexpr std::array<int, 3> GridColumns = {82, 164, 246}; // from each plot's left edge
constexpr int SCALE_STEP_X = 82;                           // scale figures under the plots
constexpr int SCALE_FIGURES_Y = 320;
// How far an AFR figure may stand past its plot's right edge: inside the channel's frame, and so
// inside the part of the window that a new stoichiometric AFR erases and the client area.
constexpr int SCALE_FIGURES_OVERHANG = 16;

// The offset scroll bar's frame and centre mark, and where the switch-point AFR stands.
constexpr int OFFSET_CENTRE_X = 604;
constexpr int READOUT_LEFT_X = 476;
constexpr int READOUT_RIGHT_X = 738;
constexpr int OFFSET_CAPTION_Y = 369; // below LineHeight
// The switch-point AFR in characters, however short: the widest it can be (655.35 x 1.127 =
// 738.58), so that each text wipes the one it replaces.
constexpr int READOUT_CHARS = 6;

// The narrowband characteristic as drawn for NbOffset 128: volts and lambda of each corner.
// Point 0 gives only the start voltage and the last point only the end voltage.
struct CurvePoint {
    double volts;
    double lambda;
};
constexpr std::array<CurvePoint, 22> NarrowbandCurve = {{
    {0.918, 0.68},          {0.918, 0.75170068},    {0.91682, 0.76170068},  {0.90597, 0.802721088},
    {0.89561, 0.826530612}, {0.88875, 0.850340136}, {0.86047, 0.897959184}, {0.84833, 0.914965986},
    {0.82865, 0.931972789}, {0.7932, 0.965986395},  {0.77995, 0.973038879}, {0.74244, 0.988459184},
    {0.16369, 1.011454766}, {0.12178, 1.021551842}, {0.10662, 1.032089559}, {0.09435, 1.043063129},
    {0.08009, 1.060331335}, {0.05849, 1.104340887}, {0.03278, 1.197278912}, {0.02784, 1.244897959},
    {0.02445, 1.292517007}, {0.02445, 1.32},
}};

bool IsNarrowband(const SetupRecord& values) {
    return (values.SetupFlags & SETUP_FLAG_B_LINEAR) == 0;
}

// A lambda's column in the plot that starts at x0, held to the plot. NaN and infinities, which
// a stoichiometric AFR of 0 gives, land on an edge instead of overflowing the conversion.
int PlotX(double lambda, int x0) {
    double x = (lambda - LAMBDA_LEFT) * PIXELS_PER_LAMBDA + x0;
    if (!(x >= x0))
        return x0;
    return static_cast<int>(std::min(x, static_cast<double>(x0 + PLOT_WIDTH)));
}

// Volts outside 0 to 5 (NaN included) are drawn at the plot's bottom or top.
double LimitVolts(double volts) {
    if (!(volts >= 0))
        return 0;
    return std::min(volts, MAX_VOLTS);
}

int LinearY(double volts) {
    return static_cast<int>(ZERO_VOLTS_Y - volts * PIXELS_PER_VOLT);
}

int NarrowbandY(double volts) {
    return static_cast<int>(ZERO_VOLTS_Y - volts * NB_PIXELS_PER_VOLT);
}

void DrawOutline(Canvas* canvas, int left, int top, int right, int bottom) {
    CanvasMoveTo(canvas, left, top);
    CanvasLineTo(canvas, right, top);
    CanvasLineTo(canvas, right, bottom);
    CanvasLineTo(canvas, left, bottom);
    CanvasLineTo(canvas, left, top);
}

// The labels and white frames of the fields that exist in the current layout.
void DrawFieldFrames(Canvas* canvas, const SetupRecord& values) {
    auto drawRow = [canvas](const FieldPlace& field) {
        if (!field.label.empty())
            CanvasText(canvas, field.x - static_cast<int>(field.label.size()) * CharWidth, field.y,
                       field.label);
        CanvasRectangle(canvas, field.x - 1, field.y - 1,
                        field.x + field.characters * CharWidth + 1, field.y + LineHeight - 3);
    };
    drawRow(FieldLayout[FIELD_ROW_STOICH]);
    for (int row = 0; row < FIELD_ROWS_PER_CHANNEL; ++row)
        drawRow(FieldLayout[row]);
    if (!IsNarrowband(values))
        for (int row = FIELD_ROWS_PER_CHANNEL; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row)
            drawRow(FieldLayout[row]);
}

// Caption, frame and centre mark of the offset scroll bar.
void DrawOffsetCaption(Canvas* canvas) {
    CanvasText(canvas, OFFSET_CENTRE_X - (9 * CharWidth) / 2, LineHeight + OFFSET_CAPTION_Y,
               "NB Offset");
    CanvasRectangle(canvas, 475, 363, 733, 383);
    for (int x = OFFSET_CENTRE_X - 1; x <= OFFSET_CENTRE_X + 1; ++x) {
        CanvasMoveTo(canvas, x, LineHeight + 363);
        CanvasLineTo(canvas, x, LineHeight + 368);
    }
}

// Volts up the left of each plot; channel B's narrowband plot reads 0 to 1 V.
void DrawVoltScales(Canvas* canvas, const SetupRecord& values) {
    for (int k = 0; k <= 5; ++k) {
        int y = 316 - 49 * k - LineHeight / 2;
        char text[16];
        std::snprintf(text, sizeof text, "%dV", k);
        CanvasText(canvas, 2 * (22 - CharWidth), y, text);
        if (!IsNarrowband(values))
            std::snprintf(text, sizeof text, "%2dV", k);
        else if (k < 5)
            std::snprintf(text, sizeof text, ".%1dV", 2 * k);
        else
            std::snprintf(text, sizeof text, " 1V");
        CanvasText(canvas, PLOT_B_LEFT - 3 * CharWidth, y, text);
    }
}

void DrawGrids(Canvas* canvas) {
    CanvasSetPen(canvas, 1, GridColour);
    for (int y : GridRows)
        for (int x0 : {PLOT_A_LEFT, PLOT_B_LEFT}) {
            CanvasMoveTo(canvas, x0 + 1, y);
            CanvasLineTo(canvas, x0 + PLOT_WIDTH - 1, y);
        }
    for (int column : GridColumns)
        for (int x0 : {PLOT_A_LEFT, PLOT_B_LEFT}) {
            CanvasMoveTo(canvas, x0 + column, PLOT_TOP + 1);
            CanvasLineTo(canvas, x0 + column, PLOT_BOTTOM);
        }
    CanvasRestoreObjects(canvas);
}

// AFR and lambda figures under both plots; the AFR row follows the stoichiometric AFR.
void DrawLambdaScales(Canvas* canvas, const SetupRecord& values) {
    // Five sixths of a line down, as 320 - truncate(LineHeight x -5/6).
    int lambdaY = SCALE_FIGURES_Y - static_cast<int>(LineHeight * -0.8333333333333334);
    for (int k = 0; k <= 4; ++k) {
        double lambda = k * 0.16 + LAMBDA_LEFT;
        char afr[32];
        char lambdaText[32];
        // Multiplied in this order, not as StoichAfrOf x lambda: the last digit of a rounded
        // figure can depend on it.
        std::snprintf(afr, sizeof afr, "%4.1f", values.StoichAfr * lambda * 0.01);
        std::snprintf(lambdaText, sizeof lambdaText, "%4.2f", lambda);
        for (int x0 : {PLOT_A_LEFT, PLOT_B_LEFT}) {
            int x = x0 + SCALE_STEP_X * k - 2 * CharWidth;
            int lastX = x0 + PLOT_WIDTH + SCALE_FIGURES_OVERHANG - CanvasTextWidth(canvas, afr);
            CanvasText(canvas, std::min(x, lastX), SCALE_FIGURES_Y, afr);
            CanvasText(canvas, x, lambdaY, lambdaText);
        }
    }
    for (int x : {154, 549}) {
        CanvasText(canvas, x, SCALE_FIGURES_Y, "AFR");
        CanvasText(canvas, x, lambdaY, "L");
    }
}

} // namespace

void PaintSetupView(Canvas* canvas, Canvas* plots, const SetupRecord& values) {
    Colour previousText = CanvasSetTextColour(canvas, TextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);

    constexpr std::string_view TITLE = "Wide Band Setup";
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_LARGE);
    CanvasText(canvas, ClientWidth / 2 - CanvasTextWidth(canvas, TITLE) / 2, 10, TITLE);
    // Labels and captions are laid out on StatusFont's cell, which the status line selected.
    CanvasSetFont(canvas, FONT_STATUS);

    DrawFieldFrames(canvas, values);
    if (IsNarrowband(values))
        DrawOffsetCaption(canvas);
    CanvasText(canvas, 133 - 9 * CharWidth, 426, "Response");
    CanvasText(canvas, 528 - 9 * CharWidth, 426, "Response");
    DrawOutline(canvas, PLOT_A_LEFT, PLOT_TOP, PLOT_A_LEFT + PLOT_WIDTH, PLOT_BOTTOM);
    DrawOutline(canvas, PLOT_B_LEFT, PLOT_TOP, PLOT_B_LEFT + PLOT_WIDTH, PLOT_BOTTOM);

    CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP);
    CanvasSetFont(canvas, FONT_COURIER);
    DrawVoltScales(canvas, values);
    DrawGrids(canvas);
    DrawLambdaScales(canvas, values);
    CanvasSetFont(canvas, previousFont);

    PlotOutputLine(plots, values, CHANNEL_A);
    PlotOutputLine(plots, values, CHANNEL_B);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}

int PlotOutputLine(Canvas* canvas, const SetupRecord& values, int channel) {
    if (channel != CHANNEL_A && channel != CHANNEL_B)
        return -1;
    if (channel == CHANNEL_B && IsNarrowband(values)) {
        PlotNarrowbandCurve(canvas, values);
        return 0;
    }
    const int x0 = channel == CHANNEL_A ? PLOT_A_LEFT : PLOT_B_LEFT;
    const ChannelSetup& setup = values.Channel[static_cast<size_t>(channel)];

    double volts1 = setup.Volts1 / 10.0;
    double afr1 = setup.Afr1 / 100.0;
    double volts2 = setup.Volts2 / 10.0;
    double afr2 = setup.Afr2 / 100.0;
    double stoich = StoichAfrOf(values);
    // The lower AFR starts the line, as in the output table.
    bool falling = afr2 < afr1;
    double lowLambda = (falling ? afr2 : afr1) / stoich;
    double highLambda = (falling ? afr1 : afr2) / stoich;
    double lowVolts = falling ? volts2 : volts1;
    double highVolts = falling ? volts1 : volts2;

    // Equal points leave the slope undefined (an infinity or NaN): the line is then a
    // vertical step, and it is never extended to the plot's edges.
    double slope = (highVolts - lowVolts) / (highLambda - lowLambda);
    bool sloped = std::isfinite(slope) && slope != 0;
    double startVolts = lowVolts;
    double endVolts = highVolts;
    if (lowLambda < LAMBDA_LEFT && sloped)
        startVolts = lowVolts + slope * (LAMBDA_LEFT - lowLambda);
    if (highLambda > LAMBDA_RIGHT && sloped)
        endVolts = lowVolts + slope * (LAMBDA_RIGHT - lowLambda);
    int y1 = LinearY(LimitVolts(startVolts));
    int y2 = LinearY(LimitVolts(endVolts));

    CanvasMoveTo(canvas, x0, y1);
    CanvasLineTo(canvas, PlotX(lowLambda, x0), y1);
    CanvasLineTo(canvas, PlotX(highLambda, x0), y2);
    CanvasLineTo(canvas, x0 + PLOT_WIDTH, y2);
    return 0;
}

void PlotNarrowbandCurve(Canvas* canvas, const SetupRecord& values) {
    // The curve moves by the switch point's distance from lambda 1 (NbSwitchLambda - 1), kept as
    // that difference and multiplied in the readout's own order.
    const double shift = (values.NbOffset - NB_OFFSET_CENTRE) * 0.001;
    CanvasMoveTo(canvas, PLOT_B_LEFT, NarrowbandY(NarrowbandCurve.front().volts));
    for (size_t point = 1; point + 1 < NarrowbandCurve.size(); ++point) {
        double x =
            (shift + NarrowbandCurve[point].lambda - LAMBDA_LEFT) * PIXELS_PER_LAMBDA + PLOT_B_LEFT;
        // Only whole pixels strictly inside the frame; a moved curve loses its outer corners.
        if (x < PLOT_B_LEFT + 1 || x >= PLOT_B_LEFT + PLOT_WIDTH)
            continue;
        CanvasLineTo(canvas, static_cast<int>(x), NarrowbandY(NarrowbandCurve[point].volts));
    }
    CanvasLineTo(canvas, PLOT_B_LEFT + PLOT_WIDTH, NarrowbandY(NarrowbandCurve.back().volts));

    CanvasFont previousFont = CanvasSetFont(canvas, FONT_COURIER);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    char readout[32];
    std::snprintf(readout, sizeof readout, "%-*.2f", READOUT_CHARS,
                  (1 + shift) * values.StoichAfr * 0.01);
    const int left = READOUT_LEFT_X + CharWidth;
    const int right = READOUT_RIGHT_X - 4 * CharWidth;
    const int y = LineHeight + OFFSET_CAPTION_Y;
    // The readout stands under the end of the scroll bar the switch point moved to; blanks
    // wipe what the other end showed.
    constexpr std::string_view BLANKS = "      ";
    static_assert(BLANKS.size() == READOUT_CHARS);
    if (values.NbOffset < NB_OFFSET_CENTRE) {
        CanvasText(canvas, right, y, BLANKS);
        CanvasText(canvas, left, y, readout);
    } else if (values.NbOffset == NB_OFFSET_CENTRE) {
        CanvasText(canvas, left, y, readout);
        CanvasText(canvas, right, y, readout);
    } else {
        CanvasText(canvas, left, y, BLANKS);
        CanvasText(canvas, right, y, readout);
    }
    CanvasSetBackColour(canvas, previousBack);
    CanvasSetFont(canvas, previousFont);
}
