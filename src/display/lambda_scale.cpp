// The target band's rule, for the dial, the history chart and the Preferences alike.
#include "display/lambda_scale.h"

#include <algorithm>

double ClampToScale(double lambda) {
    if (!(lambda >= ScaleMin))
        return ScaleMin;
    return std::min(lambda, ScaleMax);
}

TargetBand OrderTargets(double first, double second) {
    double a = ClampToScale(first);
    double b = ClampToScale(second);
    return {std::min(a, b), std::max(a, b)};
}

TargetBand DrawnTargetBand(double first, double second) {
    TargetBand band = OrderTargets(first, second);
    if (band.low == band.high) {
        band.low -= 0.005;
        band.high += 0.005;
    }
    return band;
}
