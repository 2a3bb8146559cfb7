// The lambda of each of the 1024 points of the unit's output characteristic, and the
// search for the point nearest a lambda value. The setup tables are built on this grid.
#pragma once

#include <array>
#include <cstdint>

constexpr int LAMBDA_POINT_COUNT = 1024;

// Non-decreasing: 0.67 up to index 174, strictly rising from 175 to 915, then flat at the top.
extern const std::array<double, LAMBDA_POINT_COUNT> LambdaPointTable;

// The first index 1 to 1022 whose half-way interval to its neighbours holds lambda, or -1.
// Inside the flat runs the intervals are empty, so only 174 and 915 of them can be returned.
int32_t FindLambdaPoint(double lambda);
