// The dial's lambda scale and the colours that the views drawn over it share (the dial and the
// history chart), and the one rule that turns the two target settings into the band drawn over
// the scale.
#pragma once

#include "display/canvas.h"

#include <cstdint>

// The scale; the needle and the chart's trace stop at its ends.
constexpr double ScaleMin = 0.68;
constexpr double ScaleMid = 1.0;
constexpr double ScaleMax = 1.32;
// Its ends in hundredths.
constexpr int32_t SCALE_MIN_X100 = static_cast<int32_t>(ScaleMin * 100 + 0.5);
constexpr int32_t SCALE_MAX_X100 = static_cast<int32_t>(ScaleMax * 100 + 0.5);

constexpr Colour DialFaceColour = Rgb(235, 235, 235);
constexpr Colour OutlineColour = Rgb(10, 10, 10);
constexpr Colour BandColour = Rgb(217, 72, 0);
constexpr Colour NeedleColour = Rgb(210, 20, 10);
constexpr Colour ViewTextColour = Rgb(32, 32, 32);

// A lambda clamped into the scale. NaN, which a hand-edited configuration can carry, goes to
// the scale's low end like any other value below it.
double ClampToScale(double lambda);

// The target area as the settings hold it: lower end first.
struct TargetBand {
    double low;
    double high;
};
// Two target values, in whichever order, clamped into the scale and put in order.
TargetBand OrderTargets(double first, double second);
// The band as it is drawn: ordered as above, and a single value still shows as a band of 0.01.
TargetBand DrawnTargetBand(double first, double second);
