// The lambda point grid: the known points of the unit's characteristic, its flat runs and
// rising middle, and the nearest-point search the setup tables are built with.
#include "wbsetup/lambda_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

// Every row the characteristic is known at, exactly; flat at both ends, rising strictly
// between.
TEST(LambdaPointTable, KnownRowsFlatRunsAndAStrictlyRisingMiddle) {
    std::istringstream rows( // index and lambda of each row
        "0 0.67 174 0.67 175 0.6700000037855 176 0.670693862720638 192 0.681772143914578 "
        "224 0.704299789160604 256 0.728148607965904 288 0.753881389241648 "
        "320 0.781651710355244 352 0.811353098389735 384 0.842858293695857 "
        "416 0.876395370416917 448 0.913113370221159 480 0.955939014750193 "
        "506 0.999303424555576 512 1.01145476567951 544 1.10434088672572 "
        "576 1.22427131245995 608 1.37209561626125 640 1.5522272027243 672 1.77541781666471 "
        "686 1.89173143165291 687 1.90058313064422 704 2.06424175481258 736 2.46421742527637 "
        "768 3.06994605303529 800 4.09868152874821 832 6.14883547727547 864 11.4787510182226 "
        "896 36.8088711146212 914 176.149591870203 915 207.002437039691 "
        "1023 207.002437039691");
    const auto& t = LambdaPointTable;
    for (int i = 1; i < LAMBDA_POINT_COUNT; ++i)
        ASSERT_TRUE(i <= 174 || i > 915 ? t[i] == t[i - 1] : t[i] > t[i - 1]) << "index " << i;
    int index = 0, read = 0;
    for (double lambda = 0; rows >> index >> lambda; ++read)
        EXPECT_DOUBLE_EQ(t[size_t(index)], lambda) << "index " << index;
    EXPECT_EQ(read, 33) << "every row read";
}

TEST(FindLambdaPoint, KnownPointsAndValuesOffTheGrid) {
    const std::pair<double, int> rows[] = {{1.0, 506},  {0.67, 174}, {192.0, 915},
                                           {250.0, -1}, {0.66, -1},  {std::nan(""), -1}};
    for (auto [lambda, index] : rows) {
        SCOPED_TRACE(lambda);
        EXPECT_EQ(FindLambdaPoint(lambda), index);
    }
    for (int i = 175; i <= 914; ++i) {
        ASSERT_EQ(FindLambdaPoint(LambdaPointTable[i]), i);
        double above = LambdaPointTable[i] + (LambdaPointTable[i + 1] - LambdaPointTable[i]) * 0.5;
        ASSERT_EQ(FindLambdaPoint(above), i + 1) << "midpoint after " << i;
    }
}

} // namespace
