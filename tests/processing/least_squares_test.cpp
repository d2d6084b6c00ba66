#include "processing/least_squares.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelmora {
namespace {

// Reference coefficients from numpy.linalg.lstsq on the same points.
TEST(LeastSquares, PolynomialsAgreeWithAnIndependentSolver) {
    const std::vector<double> x = {2, 4, 7}, y = {5.1, 9.8, 18.2};
    Result<PolynomialFit> f = SolveLeastSquaresPolynomial(x, y, 1, false);
    ASSERT_TRUE(f.ok());
    EXPECT_NEAR(f->coefficients[1], 2.56231884057971, 1e-12);
    EXPECT_EQ(f->coefficients[0], 0);
    f = SolveLeastSquaresPolynomial(x, y, 1, true);
    EXPECT_NEAR(f->coefficients[0], -0.381578947368419, 1e-12);
    EXPECT_NEAR(f->coefficients[1], 2.63421052631579, 1e-12);
    f = SolveLeastSquaresPolynomial(x, y, 2, false);
    EXPECT_NEAR(f->coefficients[1], 2.3707337045529, 1e-11);
    EXPECT_NEAR(f->coefficients[2], 0.031853914182771, 1e-12);
    EXPECT_EQ(f->coefficients[3], 0);
    f = SolveLeastSquaresPolynomial(x, y, 2, true);  // exact through three points
    EXPECT_NEAR(f->coefficients[0], 1.12, 1e-10);
    EXPECT_NEAR(f->coefficients[1], 1.81, 1e-10);
    EXPECT_NEAR(f->coefficients[2], 0.09, 1e-11);
    f = SolveLeastSquaresPolynomial(x, y, 3, false);
    EXPECT_NEAR(f->coefficients[1], 2.81, 1e-9);
    EXPECT_NEAR(f->coefficients[2], -0.17, 1e-9);
    EXPECT_NEAR(f->coefficients[3], 0.02, 1e-10);

    // Degree 0 with a constant: the mean; below the lowest power: zeros.
    f = SolveLeastSquaresPolynomial(x, y, 0, true);
    EXPECT_NEAR(f->coefficients[0], (5.1 + 9.8 + 18.2) / 3, 1e-12);
    f = SolveLeastSquaresPolynomial(x, y, 0, false);
    EXPECT_TRUE(f.ok());
    EXPECT_EQ(f->coefficients[0], 0);
    EXPECT_EQ(f->coefficients[1], 0);
}

TEST(LeastSquares, SingularAndMalformedSystemsAreRefused) {
    // Two points at the same x cannot fix a straight line with a constant.
    EXPECT_FALSE(SolveLeastSquaresPolynomial({3, 3}, {1, 2}, 1, true).ok());
    // Three points cannot fix a cubic with a constant.
    EXPECT_FALSE(SolveLeastSquaresPolynomial({1, 2, 3}, {1, 2, 3}, 3, true).ok());
    // No points at all.
    EXPECT_FALSE(SolveLeastSquaresPolynomial({}, {}, 1, false).ok());
    EXPECT_FALSE(SolveLeastSquaresPolynomial({1, 2}, {1}, 1, false).ok());
    EXPECT_FALSE(SolveLeastSquaresPolynomial({1, 2}, {1, 2}, 12, false).ok());
    const double inf = INFINITY;
    EXPECT_FALSE(SolveLeastSquaresPolynomial({1, inf}, {1, 2}, 1, true).ok());
    // Large responses stay well determined relative to their size.
    const Result<PolynomialFit> big =
        SolveLeastSquaresPolynomial({1e6, 2e6, 4e6}, {1, 2, 4}, 1, true);
    ASSERT_TRUE(big.ok());
    EXPECT_NEAR(big->coefficients[1], 1e-6, 1e-15);
}

}  // namespace
}  // namespace zelmora
