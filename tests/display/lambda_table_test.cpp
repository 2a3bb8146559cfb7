// The lambda point grid: the known points of the unit's characteristic, its flat runs and
// rising middle, and the nearest-point search the setup tables are built with.
#include "display/lambda_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const std::array<double, LAMBDA_POINT_COUNT>& T = LambdaPointTable;

TEST(LambdaPointTable, FlatRunsRisingMiddleAndTheTellingPoints) {
    // The ends of the runs, the point nearest lambda 1 and the last points the setup
    // tables map onto; the steps between neighbours grow with the index.
    struct Row {
        int index;
        double lambda, step;
    };
    const Row rows[] = {{174, 0.67, NAN},
                        {175, 0.6700000037855, 0.00069},
                        {180, NAN, 0.00069},
                        {400, NAN, 0.00105},
                        {506, 0.999303424555576, NAN},
                        {600, NAN, 0.0049},
                        {686, 1.89173143165291, NAN},
                        {687, 1.90058313064422, NAN},
                        {700, NAN, 0.01},
                        {900, NAN, 3.0},
                        {914, 176.149591870203, 30.85},
                        {915, 207.002437039691, 0.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        if (!std::isnan(row.lambda)) {
            EXPECT_EQ(T[row.index], row.lambda);
        }
        if (!std::isnan(row.step)) {
            EXPECT_NEAR(T[row.index + 1] - T[row.index], row.step, row.step * 0.25);
        }
    }
    for (int i = 0; i <= 174; ++i)
        ASSERT_EQ(T[i], 0.67) << "index " << i;
    for (int i = 915; i < LAMBDA_POINT_COUNT; ++i)
        ASSERT_EQ(T[i], 207.002437039691) << "index " << i;
    for (int i = 175; i <= 915; ++i)
        ASSERT_GT(T[i], T[i - 1]) << "index " << i;
}

TEST(FindLambdaPoint, NearestPointWithMidpointsGoingUp) {
    struct Row {
        double lambda;
        int32_t index;
    };
    const Row rows[] = {{1.0, 506},
                        {0.67, 174},
                        {0.670000001892, 174},
                        {0.670000001893, 175},
                        {191.57, 914},
                        {191.58, 915},
                        {192.0, 915},
                        {std::nextafter(207.002437039691, 0.0), 915},
                        {207.002437039691, -1},
                        {250.0, -1},
                        {0.66, -1},
                        {std::nan(""), -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lambda);
        EXPECT_EQ(FindLambdaPoint(row.lambda), row.index);
    }
    for (int i = 175; i <= 914; ++i) {
        ASSERT_EQ(FindLambdaPoint(T[i]), i);
        ASSERT_EQ(FindLambdaPoint(T[i] + (T[i + 1] - T[i]) * 0.5), i + 1) << "midpoint after " << i;
    }
}

} // namespace
