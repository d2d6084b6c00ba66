#include "processing/least_squares.h"

#include <cmath>

namespace zelmora {

Result<PolynomialFit> SolveLeastSquaresPolynomial(const std::vector<double>& x,
                                                  const std::vector<double>& y, int degree,
                                                  bool constantTerm) {
    PolynomialFit fit;
    if (x.size() != y.size())
        return Status::failure("разное число абсцисс и ординат");
    if (degree > kMaxPolynomialDegree)
        return Status::failure("слишком высокая степень многочлена");
    const int j0 = constantTerm ? 0 : 1;
    if (degree < j0)
        return fit;  // nothing to fit: the curve is 0
    const Status singular = Status::failure("вырожденная система уравнений");
    const int m = degree - j0 + 1;  // unknowns
    constexpr int kMax = kMaxPolynomialDegree + 1;
    double a[kMax][kMax] = {};
    double b[kMax] = {};
    for (std::size_t i = 0; i < x.size(); ++i) {
        // Powers of x up to 2 * degree, by repeated multiplication.
        double p[2 * kMax] = {};
        p[0] = 1;
        for (int e = 1; e <= 2 * degree; ++e)
            p[e] = p[e - 1] * x[i];
        for (int r = 0; r < m; ++r) {
            for (int c = 0; c < m; ++c)
                a[r][c] += p[r + j0 + c + j0];
            b[r] += y[i] * p[r + j0];
        }
    }
    double diagonal[kMax];
    for (int r = 0; r < m; ++r)
        diagonal[r] = std::fabs(a[r][r]);
    // Forward elimination in index order.
    for (int r = 0; r < m; ++r) {
        const double pivot = a[r][r];
        if (!std::isfinite(pivot) || std::fabs(pivot) <= 1e-12 * diagonal[r] ||
            std::fabs(pivot) < 1e-300)
            return singular;
        for (int s = r + 1; s < m; ++s) {
            const double f = a[s][r] / pivot;
            for (int c = r; c < m; ++c)
                a[s][c] -= f * a[r][c];
            b[s] -= f * b[r];
        }
    }
    double solution[kMax] = {};
    for (int r = m - 1; r >= 0; --r) {
        double v = b[r];
        for (int c = r + 1; c < m; ++c)
            v -= a[r][c] * solution[c];
        solution[r] = v / a[r][r];
        if (!std::isfinite(solution[r]))
            return singular;
    }
    for (int r = 0; r < m; ++r)
        fit.coefficients[static_cast<std::size_t>(r + j0)] = solution[r];
    return fit;
}

}  // namespace zelmora
