// The lambda point grid: the known points of the unit's characteristic, its flat runs and
// rising middle, and the nearest-point search the setup tables are built with.
#include "display/lambda_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace {

const std::pair<int, double> KNOWN_POINTS[] = {
    {175, 0.6700000037855},   {176, 0.670693862720638}, {192, 0.681772143914578},
    {224, 0.704299789160604}, {256, 0.728148607965904}, {288, 0.753881389241648},
    {320, 0.781651710355244}, {352, 0.811353098389735}, {384, 0.842858293695857},
    {416, 0.876395370416917}, {448, 0.913113370221159}, {480, 0.955939014750193},
    {506, 0.999303424555576}, {512, 1.01145476567951},  {544, 1.10434088672572},
    {576, 1.22427131245995},  {608, 1.37209561626125},  {640, 1.5522272027243},
    {672, 1.77541781666471},  {686, 1.89173143165291},  {687, 1.90058313064422},
    {704, 2.06424175481258},  {736, 2.46421742527637},  {768, 3.06994605303529},
    {800, 4.09868152874821},  {832, 6.14883547727547},  {864, 11.4787510182226},
    {896, 36.8088711146212},  {914, 176.149591870203},
};

const std::array<double, LAMBDA_POINT_COUNT>& T = LambdaPointTable;

double Midpoint(int index) {
    return T[index] + (T[index + 1] - T[index]) * 0.5;
}

TEST(LambdaPointTable, HitsEveryKnownPointExactly) {
    for (const auto& [index, lambda] : KNOWN_POINTS)
        EXPECT_EQ(T[index], lambda) << "index " << index;
}

TEST(LambdaPointTable, FlatAtBothEndsAndStrictlyRisingBetween) {
    for (int i = 0; i <= 174; ++i)
        ASSERT_EQ(T[i], 0.67) << "index " << i;
    for (int i = 915; i < LAMBDA_POINT_COUNT; ++i)
        ASSERT_EQ(T[i], 207.002437039691) << "index " << i;
    for (int i = 175; i <= 915; ++i)
        ASSERT_GT(T[i], T[i - 1]) << "index " << i;
}

TEST(LambdaPointTable, InverseLambdaRunsEvenlyBetweenKnownPoints) {
    // Half-way between two known points 1/lambda is half-way too.
    EXPECT_DOUBLE_EQ(1.0 / T[208], (1.0 / T[192] + 1.0 / T[224]) * 0.5);
    EXPECT_DOUBLE_EQ(1.0 / T[720], (1.0 / T[704] + 1.0 / T[736]) * 0.5);
    // The steps grow with the index as the unit's characteristic does.
    const std::pair<int, double> steps[] = {
        {180, 0.00069}, {400, 0.00105}, {600, 0.0049}, {700, 0.01}, {900, 3.0}};
    for (const auto& [index, step] : steps)
        EXPECT_NEAR(T[index + 1] - T[index], step, step * 0.25) << "index " << index;
}

TEST(FindLambdaPoint, AnswersAtTheEdgesOfTheGrid) {
    EXPECT_EQ(FindLambdaPoint(1.0), 506);
    EXPECT_EQ(FindLambdaPoint(0.67), 174);
    EXPECT_EQ(FindLambdaPoint(192.0), 915);
    EXPECT_EQ(FindLambdaPoint(250.0), -1);
    EXPECT_EQ(FindLambdaPoint(0.66), -1);
    EXPECT_EQ(FindLambdaPoint(207.002437039691), -1);
    EXPECT_EQ(FindLambdaPoint(std::nextafter(207.002437039691, 0.0)), 915);
    EXPECT_EQ(FindLambdaPoint(std::nan("")), -1);
}

TEST(FindLambdaPoint, MidpointsBelongToTheUpperPoint) {
    EXPECT_EQ(FindLambdaPoint(std::nextafter(Midpoint(174), 0.0)), 174);
    EXPECT_EQ(FindLambdaPoint(Midpoint(174)), 175);
    EXPECT_EQ(FindLambdaPoint(std::nextafter(Midpoint(914), 0.0)), 914);
    EXPECT_EQ(FindLambdaPoint(Midpoint(914)), 915);
    for (int i = 175; i <= 914; ++i) {
        ASSERT_EQ(FindLambdaPoint(T[i]), i);
        ASSERT_EQ(FindLambdaPoint(Midpoint(i)), i + 1) << "midpoint after " << i;
    }
}

} // namespace
