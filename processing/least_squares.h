#pragma once
// Least-squares polynomial through calibration points.
//
// The polynomial y = c0 + c1*x + ... + cd*x^d (or, forced through zero,
// c1*x + ... + cd*x^d) is fitted by its normal equations: for the powers
// j, k of the fit, A[j][k] = sum of x^(j+k) and B[j] = sum of y*x^j. They are
// solved by Gaussian elimination in index order without pivoting (the
// matrix is symmetric positive definite for points that determine the
// polynomial) and back substitution. A system that the points cannot
// determine — a pivot that vanishes against the size of its diagonal, or a
// result that is not finite — is reported as singular, never as numbers.

#include <array>
#include <vector>

#include "app/result.h"

namespace zelmora {

inline constexpr int kMaxPolynomialDegree = 11;

struct PolynomialFit {
    // Coefficient of x^j; 0 for the powers the fit did not use.
    std::array<double, kMaxPolynomialDegree + 1> coefficients{};
};

// Fits a polynomial of `degree` (0 to 11) through the points (x[i], y[i]).
// Without `constantTerm` the power 0 is left out and its coefficient is 0.
// A degree below the lowest power of the fit gives all coefficients 0. A
// singular system, a degree out of range, or x and y of different sizes are
// a failure.
Result<PolynomialFit> SolveLeastSquaresPolynomial(const std::vector<double>& x,
                                                  const std::vector<double>& y, int degree,
                                                  bool constantTerm);

}  // namespace zelmora
