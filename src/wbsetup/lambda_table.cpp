// The lambda point table, filled at compile time from the points the unit's characteristic
// is known at. Between them 1/lambda runs almost linearly with the index, so the table
// interpolates 1/lambda, which keeps the middle strictly rising and every known point exact.
#include "wbsetup/lambda_table.h"

#include <cstddef>

namespace {
constexpr int LAST_LOW_FLAT = 174;
constexpr int FIRST_HIGH_FLAT = 915;
constexpr double LOW_FLAT_LAMBDA = 0.67;
constexpr double HIGH_FLAT_LAMBDA = 207.002437039691;

struct KnownPoint {
    int index;
    double lambda;
};

// The points of the characteristic that the table must hit exactly, in rising index order.
constexpr std::array<KnownPoint, 31> KnownPoints = {{
    {174, LOW_FLAT_LAMBDA}, // last of the low flat run
    {175, 0.6700000037855}, // first rising point
    {176, 0.670693862720638}, {192, 0.681772143914578},
    {224, 0.704299789160604}, {256, 0.728148607965904},
    {288, 0.753881389241648}, {320, 0.781651710355244},
    {352, 0.811353098389735}, {384, 0.842858293695857},
    {416, 0.876395370416917}, {448, 0.913113370221159},
    {480, 0.955939014750193}, {506, 0.999303424555576}, // nearest point to stoichiometric
    {512, 1.01145476567951},  {544, 1.10434088672572},
    {576, 1.22427131245995},  {608, 1.37209561626125},
    {640, 1.5522272027243},   {672, 1.77541781666471},
    {686, 1.89173143165291}, // last point of the output tables
    {687, 1.90058313064422},  {704, 2.06424175481258},
    {736, 2.46421742527637},  {768, 3.06994605303529},
    {800, 4.09868152874821},  {832, 6.14883547727547},
    {864, 11.4787510182226},  {896, 36.8088711146212},
    {914, 176.149591870203}, // last rising point
    {915, HIGH_FLAT_LAMBDA}, // first of the high flat run
}};

constexpr std::array<double, LAMBDA_POINT_COUNT> BuildLambdaPointTable() {
    std::array<double, LAMBDA_POINT_COUNT> table{};
    for (int i = 0; i <= LAST_LOW_FLAT; ++i)
        table[static_cast<size_t>(i)] = LOW_FLAT_LAMBDA;
    for (int i = FIRST_HIGH_FLAT; i < LAMBDA_POINT_COUNT; ++i)
        table[static_cast<size_t>(i)] = HIGH_FLAT_LAMBDA;
    for (size_t k = 0; k + 1 < KnownPoints.size(); ++k) {
        const KnownPoint& from = KnownPoints[k];
        const KnownPoint& to = KnownPoints[k + 1];
        table[static_cast<size_t>(from.index)] = from.lambda;
        double inverseFrom = 1.0 / from.lambda;
        double inverseTo = 1.0 / to.lambda;
        double span = to.index - from.index;
        for (int i = from.index + 1; i < to.index; ++i) {
            double share = (i - from.index) / span;
            table[static_cast<size_t>(i)] = 1.0 / (inverseFrom + (inverseTo - inverseFrom) * share);
        }
    }
    return table;
}
} // namespace

constexpr std::array<double, LAMBDA_POINT_COUNT> LambdaPointTable = BuildLambdaPointTable();

int32_t FindLambdaPoint(double lambda) {
    const std::array<double, LAMBDA_POINT_COUNT>& t = LambdaPointTable;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
        double low = t[i] - (t[i] - t[i - 1]) * 0.5;
        double high = t[i] + (t[i + 1] - t[i]) * 0.5;
        if (low <= lambda && lambda < high)
            return static_cast<int32_t>(i);
    }
    return -1;
}
