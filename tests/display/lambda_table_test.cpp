// The lambda point grid: the known points of the unit's characteristic, its flat runs and
// rising middle, and the nearest-point search the setup tables are built with.
#include "display/lambda_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(LambdaPointTable, FlatRunsAroundAStrictlyRisingMiddle) {
    // Between neighbours 1/lambda changes almost evenly: within 0.14 per cent from 176 to 800.
    const auto& t = LambdaPointTable;
    for (int i = 1; i < LAMBDA_POINT_COUNT; ++i) {
        ASSERT_TRUE(i <= 174 || i > 915 ? t[i] == t[i - 1] : t[i] > t[i - 1]) << "index " << i;
        if (i >= 176 && i < 800) {
            ASSERT_NEAR(1 / t[i], (1 / t[i - 1] + 1 / t[i + 1]) / 2, 0.0014 / t[i])
                << "index " << i;
        }
    }
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
