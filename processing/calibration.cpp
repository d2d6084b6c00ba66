#include "processing/calibration.h"

#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "app/work_log.h"
#include "document/message_sink.h"
#include "processing/least_squares.h"
#include "processing/quantitation.h"

namespace zelmora {
namespace {

const CalibrationPoint* pointAt(const MethodComponent& c, std::size_t level) {
    return level < c.points.size() ? &c.points[level] : nullptr;
}

void setCoefficients(MethodComponent& c, const PolynomialFit& fit) {
    c.k0 = fit.coefficients[0];
    c.k1 = fit.coefficients[1];
    c.k2 = fit.coefficients[2];
    c.k3 = fit.coefficients[3];
}

// Mean of the non-zero values `field` takes over the levels; `current`
// when none is non-zero.
template <typename Field>
double meanOfNonZero(const MethodComponent& c, Field field, double current) {
    double sum = 0;
    int n = 0;
    for (const CalibrationPoint& p : c.points) {
        const double v = field(p);
        if (v != 0) {
            sum += v;
            ++n;
        }
    }
    return n > 0 ? sum / n : current;
}

}  // namespace

double LevelResponse(const CalibrationPoint& point, int response) {
    return response == 1 ? point.area : point.height;
}

double LevelCoefficient(const CalibrationPoint& point, int response) {
    const double x = LevelResponse(point, response);
    return x != 0 ? point.amount / x : 0;
}

ClassicStatistics ClassicFit(MethodComponent& c, int response, const MethodComponent* standard) {
    ClassicStatistics st;
    double sum = 0, lo = 0, hi = 0;
    for (const CalibrationPoint& p : c.points) {
        const double k = LevelCoefficient(p, response);
        if (k == 0)
            continue;
        lo = st.levels == 0 ? k : std::min(lo, k);
        hi = st.levels == 0 ? k : std::max(hi, k);
        sum += k;
        ++st.levels;
    }
    st.mean = st.levels > 0 ? sum / st.levels : 0;
    if (st.levels > 1 && sum > 0) {
        double squares = 0;
        for (const CalibrationPoint& p : c.points) {
            const double k = LevelCoefficient(p, response);
            if (k != 0)
                squares += (k - st.mean) * (k - st.mean);
        }
        st.range = (hi - lo) * 100.0 / st.mean;
        st.rsd = std::sqrt(squares / (st.levels - 1)) * 100.0 / st.mean;
    }
    if (c.manual)
        return st;
    for (CalibrationPoint& p : c.points)
        p.coefficient = LevelCoefficient(p, response);
    c.k0 = c.k2 = c.k3 = 0;
    c.k1 = st.mean;
    if (standard == nullptr)
        c.standardFactor = 1.0;
    else if (standard == &c)
        c.standardFactor = st.mean;
    else
        c.standardFactor = standard->standardFactor;
    c.k1 = c.standardFactor != 0 ? c.k1 / c.standardFactor : 1.0;
    return st;
}

double LevelAmount(const MethodComponent& c, std::size_t level, int response,
                   const MethodComponent* standard) {
    const CalibrationPoint* p = pointAt(c, level);
    if (p == nullptr)
        return 0;
    if (standard == nullptr)
        return p->amount;
    const CalibrationPoint* s = pointAt(*standard, level);
    if (s == nullptr || s->amount <= 1e-50)
        return 0;
    return p->amount * EvaluateCurve(*standard, LevelResponse(*s, response)) / s->amount;
}

Result<FitOutcome> LeastSquaresFit(MethodComponent& c, int response,
                                   const MethodComponent* standard) {
    FitOutcome out;
    const int group = c.curveType / 6;
    if (c.curveType < 0 || group > 2)
        return Status::failure(
            text::format("Компонент \"%s\": неизвестный вид градуировочной кривой %d",
                         c.name.c_str(), c.curveType));
    std::vector<double> xs, ys;
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        const double x = LevelResponse(c.points[i], response);
        if (x == 0)
            continue;
        const double y = LevelAmount(c, i, response, standard);
        if (group == 0) {
            xs.push_back(x);
            ys.push_back(y);
        } else if (group == 1) {
            xs.push_back(1.0 / x);
            ys.push_back(y);
        } else if (x > 0 && y > 0) {  // logarithms of what has one
            xs.push_back(std::log(x));
            ys.push_back(std::log(y));
        }
    }
    const int n = static_cast<int>(xs.size());
    const int r = c.curveType % 6;
    const bool constantTerm = (c.curveType % 2) == 1;
    // Unknowns the levels can determine: n with a constant term (degree
    // n - 1), n powers from 1 without one (degree n).
    int degree = r / 2 + 1;
    degree = std::min(degree, constantTerm ? n - 1 : n);
    degree = std::min(degree, kMaxPolynomialDegree);
    out.points = n;
    out.degree = std::max(degree, 0);
    // No level: the curve is 0.
    const Result<PolynomialFit> fit =
        degree < 0 || n == 0 ? Result<PolynomialFit>(PolynomialFit{})
                             : SolveLeastSquaresPolynomial(xs, ys, degree, constantTerm);
    if (!fit)
        return Status::failure(text::format(
            "Компонент \"%s\": уровни калибровки не определяют кривую (вырожденная система), "
            "коэффициенты оставлены прежними",
            c.name.c_str()));
    if (!c.manual)
        setCoefficients(c, *fit);
    return out;
}

CalibrationReport FitAllComponents(CalculationSettings& s) {
    CalibrationReport report;
    report.statistics.resize(s.components.size());
    MethodComponent* standardComponent =
        s.standard.empty() ? nullptr : findComponent(s, s.standard);
    auto index = [&](const MethodComponent& c) {
        return static_cast<std::size_t>(&c - s.components.data());
    };
    auto classic = [&](MethodComponent& c, const MethodComponent* with) {
        report.statistics[index(c)] = ClassicFit(c, s.response, with);
    };
    auto leastSquares = [&](MethodComponent& c, const MethodComponent* with) {
        const Result<FitOutcome> o = LeastSquaresFit(c, s.response, with);
        if (!o)
            report.messages.push_back(o.message());
    };
    switch (s.kind) {
        case kAbsoluteClassic:
        case kNormalisationAbsolute:
            for (MethodComponent& c : s.components)
                classic(c, nullptr);
            break;
        case kAbsoluteLeastSquares:
            for (MethodComponent& c : s.components)
                leastSquares(c, nullptr);
            break;
        case kInternalStandardClassic:
        case kNormalisationRelative:
        case kExternalStandard:
            if (standardComponent == nullptr)
                break;
            classic(*standardComponent, standardComponent);
            for (MethodComponent& c : s.components)
                if (&c != standardComponent)
                    classic(c, standardComponent);
            if (s.kind == kExternalStandard)
                classic(*standardComponent, nullptr);
            break;
        case kInternalStandardAbsolute:
            if (standardComponent != nullptr)
                leastSquares(*standardComponent, nullptr);
            for (MethodComponent& c : s.components)
                if (&c != standardComponent)
                    leastSquares(c, standardComponent);
            break;
        default:
            break;
    }
    for (const std::string& m : report.messages)
        CWorkLog::instance().write("? " + m);
    return report;
}

std::size_t levelCount(const CalculationSettings& s) {
    return s.components.empty() ? 0 : s.components.front().points.size();
}

int findLevel(const CalculationSettings& s, std::time_t dateTime) {
    if (dateTime == 0 || s.components.empty())
        return -1;
    const auto& points = s.components.front().points;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].dateTime == dateTime)
            return static_cast<int>(i);
    return -1;
}

int AddLevel(CalculationSettings& s, std::time_t dateTime, bool* existed) {
    if (existed != nullptr)
        *existed = false;
    if (s.components.empty())
        return -1;
    const int found = findLevel(s, dateTime);
    if (found >= 0) {
        if (existed != nullptr)
            *existed = true;
        return found;
    }
    const std::size_t level = levelCount(s);
    for (MethodComponent& c : s.components) {
        // Keep every component as long as the first, whatever an old file held.
        c.points.resize(level);
        CalibrationPoint p;
        p.dateTime = dateTime;
        c.points.push_back(p);
    }
    return static_cast<int>(level);
}

bool DeleteLevel(CalculationSettings& s, std::size_t level) {
    if (level >= levelCount(s))
        return false;
    for (MethodComponent& c : s.components)
        if (level < c.points.size())
            c.points.erase(c.points.begin() + static_cast<std::ptrdiff_t>(level));
    CWorkLog::instance().write("~ Оператор удалил уровень в калибровке");
    return true;
}

void DeleteAllLevels(CalculationSettings& s) {
    for (MethodComponent& c : s.components)
        c.points.clear();
    CWorkLog::instance().write("~ Оператор удалил все уровени в калибровке");
}

MethodComponent& findOrAddComponent(CalculationSettings& s, std::string_view name) {
    if (MethodComponent* c = findComponent(s, name))
        return *c;
    MethodComponent added;
    added.name = std::string(name);
    if (!s.components.empty())
        for (const CalibrationPoint& p : s.components.front().points) {
            CalibrationPoint empty;
            empty.dateTime = p.dateTime;
            added.points.push_back(empty);
        }
    s.components.push_back(std::move(added));
    return s.components.back();
}

CalibrationPointResult AddCalibrationPoint(Method& method, const PeakTable& peaks,
                                           const Passport& passport, MessageSink* sink) {
    CalculationSettings& s = method.calculation;
    CalibrationPointResult result;
    for (const Peak& p : peaks.peaks) {
        if (!p.identified() || findComponent(s, p.componentName) != nullptr)
            continue;
        findOrAddComponent(s, p.componentName);
        ++result.added;
    }
    result.level = AddLevel(s, passport.analysisTime, &result.reused);
    if (result.level < 0)
        return result;
    const auto level = static_cast<std::size_t>(result.level);
    if (result.reused) {
        if (sink != nullptr)
            sink->messageBox("Калибровка", kCalibrationReusedMessage, MessageIcon::Warning);
        // The level is taken again from this chromatogram alone.
        for (MethodComponent& c : s.components) {
            CalibrationPoint fresh;
            fresh.dateTime = c.points[level].dateTime;
            c.points[level] = fresh;
        }
    }
    const bool internalStandard =
        s.kind == kInternalStandardClassic || s.kind == kInternalStandardAbsolute;
    const double v = passport.sampleAmount, d = passport.standardAmount;
    for (const Peak& p : peaks.peaks) {
        MethodComponent* c = findComponent(s, p.componentName);
        if (c == nullptr)
            continue;
        CalibrationPoint& point = c->points[level];
        point.retentionTime = p.apexTime;
        point.height = p.height;
        point.area = p.area;
        point.retentionIndex = p.indexProperty();
        // The operator's concentration back to the amount injected; a zero
        // dilution gives no amount rather than an infinite one.
        point.amount = internalStandard       ? p.concentration
                       : std::fabs(d) > 1e-50 ? p.concentration * v / d
                                              : 0;
        c->reference = p.isReference != 0;
        c->retentionTime = meanOfNonZero(
            *c, [](const CalibrationPoint& q) { return q.retentionTime; }, c->retentionTime);
        c->retentionIndex = meanOfNonZero(
            *c, [](const CalibrationPoint& q) { return q.retentionIndex; }, c->retentionIndex);
        ++result.components;
    }
    result.fit = FitAllComponents(s);
    return result;
}

int AddComponentsFromPeaks(Method& method, const PeakTable& peaks) {
    CalculationSettings& s = method.calculation;
    int added = 0;
    for (const Peak& p : peaks.peaks) {
        if (!p.identified())
            continue;
        if (findComponent(s, p.componentName) == nullptr)
            ++added;
        MethodComponent& c = findOrAddComponent(s, p.componentName);
        c.retentionTime = p.apexTime;
        c.reference = p.isReference != 0;
        c.retentionIndex = p.indexProperty();
    }
    return added;
}

std::string formatCoefficient(double value) {
    return std::fabs(value) >= 0.0001 ? text::format("%.6f", value) : text::format("%.3g", value);
}

bool coefficientUsed(int curveType, int j) {
    const int r = curveType % 6;
    switch (j) {
        case 0:
            return curveType % 2 == 1;
        case 1:
            return true;
        case 2:
            return r > 1;
        case 3:
            return r > 3;
        default:
            return false;
    }
}

void keepUsedCoefficients(MethodComponent& c) {
    double* k[] = {&c.k0, &c.k1, &c.k2, &c.k3};
    for (int j = 0; j < 4; ++j)
        if (!coefficientUsed(c.curveType, j))
            *k[j] = 0;
}

double shownLevelCoefficient(const CalculationSettings& s, const MethodComponent& c,
                             std::size_t level) {
    const CalibrationPoint* p = pointAt(c, level);
    if (p == nullptr)
        return 0;
    const double k = LevelCoefficient(*p, s.response);
    const bool relative = s.kind == kInternalStandardClassic || s.kind == kNormalisationRelative ||
                          s.kind == kExternalStandard;
    const MethodComponent* standardComponent = findComponent(s, s.standard);
    if (!relative || standardComponent == nullptr ||
        (s.kind == kExternalStandard && standardComponent == &c))
        return k;
    const CalibrationPoint* sp = pointAt(*standardComponent, level);
    const double ks = sp != nullptr ? LevelCoefficient(*sp, s.response) : 0;
    return ks != 0 ? k / ks : 0;
}

std::vector<std::pair<double, double>> calibrationCurveSamples(const CalculationSettings& s,
                                                               const MethodComponent& c) {
    double maxX = 0;
    for (const CalibrationPoint& p : c.points)
        maxX = std::max(maxX, LevelResponse(p, s.response));
    std::vector<std::pair<double, double>> samples;
    if (!(maxX > 0))
        return samples;
    const bool scaled = s.kind == kInternalStandardClassic || s.kind == kNormalisationRelative ||
                        s.kind == kExternalStandard;
    for (int i = 0; i < 50; ++i) {
        const double x = maxX / 50 + i * 1.05 * maxX / 49;
        const double y = EvaluateCurve(c, x) * (scaled ? c.standardFactor : 1.0);
        samples.emplace_back(x, y);
    }
    return samples;
}

}  // namespace zelmora
