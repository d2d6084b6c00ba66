#include "chart/chart_series.h"

#include <algorithm>
#include <cmath>

namespace zelmora::chart {
namespace {

// Slope at `at` of the parabola through three points (Newton form).
double parabolaSlope(PointF a, PointF b, PointF c, double at) {
    const double fab = (b.y - a.y) / (b.x - a.x);
    const double fbc = (c.y - b.y) / (c.x - b.x);
    const double fabc = (fbc - fab) / (c.x - a.x);
    return fab + fabc * ((at - a.x) + (at - b.x));
}

double parabolaValue(PointF a, PointF b, PointF c, double at) {
    const double fab = (b.y - a.y) / (b.x - a.x);
    const double fbc = (c.y - b.y) / (c.x - b.x);
    const double fabc = (fbc - fab) / (c.x - a.x);
    return a.y + fab * (at - a.x) + fabc * (at - a.x) * (at - b.x);
}

// Parabola through three points at parameters t0, t0+1, t0+2, evaluated at t.
PointF parametricParabola(PointF a, PointF b, PointF c, double t0, double t) {
    const double u = t - t0;
    auto f = [u](double pa, double pb, double pc) {
        return pa + u * (pb - pa) + u * (u - 1) / 2 * (pc - 2 * pb + pa);
    };
    return {f(a.x, b.x, c.x), f(a.y, b.y, c.y)};
}

PointF catmullRom(PointF p0, PointF p1, PointF p2, PointF p3, double t) {
    auto f = [t](double a, double b, double c, double d) {
        return 0.5 * (2 * b + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t * t +
                      (-a + 3 * b - 3 * c + d) * t * t * t);
    };
    return {f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)};
}

}  // namespace

ChartSeries ChartSeries::fromVectors(const std::vector<double>& xs, const std::vector<double>& ys) {
    ChartSeries s;
    s.count = static_cast<int>(std::min(xs.size(), ys.size()));
    s.x = [&xs](int i) { return xs[static_cast<std::size_t>(i)]; };
    s.y = [&ys](int i) { return ys[static_cast<std::size_t>(i)]; };
    return s;
}

ChartSeries ChartSeries::fromFloats(const float* xs, const float* ys, int n) {
    ChartSeries s;
    s.count = n;
    s.x = [xs](int i) { return static_cast<double>(xs[i]); };
    s.y = [ys](int i) { return static_cast<double>(ys[i]); };
    return s;
}

std::vector<PointF> ChartSeries::points() const {
    std::vector<PointF> out;
    if (!x || !y)
        return out;
    out.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        out.push_back({x(i), y(i)});
    return out;
}

bool strictlyMonotonic(const std::vector<PointF>& pts) {
    if (pts.size() < 2)
        return false;
    const double first = pts[1].x - pts[0].x;
    if (!(first != 0) || !std::isfinite(first))
        return false;
    for (std::size_t i = 2; i < pts.size(); ++i) {
        const double d = pts[i].x - pts[i - 1].x;
        if (!(first > 0 ? d > 0 : d < 0))
            return false;
    }
    return true;
}

std::vector<PointF> smoothCurve(const std::vector<PointF>& pts, int subdivisions) {
    const std::size_t n = pts.size();
    if (n <= 2)
        return pts;
    subdivisions = std::clamp(subdivisions, 1, 1000);
    std::vector<PointF> out;
    out.reserve((n - 1) * static_cast<std::size_t>(subdivisions) + 1);
    out.push_back(pts[0]);
    if (strictlyMonotonic(pts)) {
        for (std::size_t i = 0; i + 1 < n; ++i) {
            const PointF a = pts[i], b = pts[i + 1];
            const double delta = b.x - a.x;
            for (int k = 1; k <= subdivisions; ++k) {
                const double xv = a.x + delta * k / subdivisions;
                double yv;
                if (i == 0) {
                    yv = parabolaValue(pts[0], pts[1], pts[2], xv);
                } else if (i == n - 2) {
                    yv = parabolaValue(pts[n - 3], pts[n - 2], pts[n - 1], xv);
                } else {
                    // The cubic through both ends with the end slopes G and I
                    // of the neighbouring parabolas.
                    const double j = (b.y - a.y) / delta;
                    const double g = parabolaSlope(pts[i - 1], a, b, a.x);
                    const double iSlope = parabolaSlope(a, b, pts[i + 2], b.x);
                    const double g1 = (j - g) / delta;
                    const double s = (iSlope - j - delta * g1) / (delta * delta);
                    yv = a.y + (xv - a.x) * (j + (xv - b.x) * (g1 + s * (xv - a.x)));
                }
                out.push_back({xv, yv});
            }
        }
        return out;
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (int k = 1; k <= subdivisions; ++k) {
            const double t = static_cast<double>(k) / subdivisions;
            if (i == 0) {
                out.push_back(parametricParabola(pts[0], pts[1], pts[2], -1, t - 1));
            } else if (i == n - 2) {
                out.push_back(parametricParabola(pts[n - 3], pts[n - 2], pts[n - 1], 0, 1 + t));
            } else {
                out.push_back(catmullRom(pts[i - 1], pts[i], pts[i + 1], pts[i + 2], t));
            }
        }
    }
    return out;
}

bool clipSegment(PointF& a, PointF& b, const RectF& r) {
    // Liang-Barsky.
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - r.left, r.right - a.x, a.y - r.top, r.bottom - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
    }
    const PointF a0 = a;
    a = {a0.x + t0 * dx, a0.y + t0 * dy};
    b = {a0.x + t1 * dx, a0.y + t1 * dy};
    return true;
}

namespace {

// Draws the mapped path clipped to the plot, one run of visible segments at
// a time.
void drawClipped(ChartPainter& painter, const std::vector<PointF>& path, const RectF& plot) {
    std::vector<PointF> run;
    auto flush = [&] {
        if (run.size() >= 2)
            painter.polyline(run);
        run.clear();
    };
    for (std::size_t i = 1; i < path.size(); ++i) {
        PointF a = path[i - 1], b = path[i];
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
            !std::isfinite(b.y)) {
            flush();
            continue;
        }
        const PointF origB = b;
        if (!clipSegment(a, b, plot)) {
            flush();
            continue;
        }
        if (run.empty())
            run.push_back(a);
        run.push_back(b);
        if (b.x != origB.x || b.y != origB.y)
            flush();
    }
    flush();
}

void drawMarker(ChartPainter& painter, Marker m, PointF p, double h) {
    switch (m) {
        case Marker::Circle:
        case Marker::CircleArrow:
            painter.ellipse(p, h, h);
            break;
        case Marker::DiagonalCross:
            painter.line({p.x - h, p.y - h}, {p.x + h, p.y + h});
            painter.line({p.x - h, p.y + h}, {p.x + h, p.y - h});
            break;
        case Marker::UprightCross:
            painter.line({p.x - h, p.y}, {p.x + h, p.y});
            painter.line({p.x, p.y - h}, {p.x, p.y + h});
            break;
        case Marker::Square:
            painter.rect({p.x - h, p.y - h, p.x + h, p.y + h});
            break;
        default:
            break;
    }
}

}  // namespace

void ChartSeries::draw(ChartPainter& painter, const ChartAxes& axes) const {
    const std::vector<PointF> pts = points();
    const RectF& plot = axes.plot;
    painter.setPen(color, penWidth);

    if (marker == Marker::Bands) {
        std::vector<std::pair<double, double>> spans;
        for (int i = 0; i < count; ++i) {
            double a = axes.mapX(pts[static_cast<std::size_t>(i)].x);
            double b = axes.mapX(pts[static_cast<std::size_t>(i)].y);
            if (!std::isfinite(a) || !std::isfinite(b))
                continue;
            if (a > b)
                std::swap(a, b);
            a = std::max(a, plot.left);
            b = std::min(b, plot.right);
            if (a >= b)
                continue;
            const int kind = bandKind ? bandKind(i) : 0;
            const Color fill = kind == 0   ? Color{234, 255, 255}
                               : kind == 1 ? Color{255, 255, 234}
                                           : Color{234, 234, 234};
            painter.fillRect({a, plot.top, b, plot.bottom}, fill);
            for (const auto& [pa, pb] : spans) {
                const double oa = std::max(a, pa), ob = std::min(b, pb);
                if (oa < ob)
                    painter.fillRect({oa, plot.top, ob, plot.bottom}, Color{255, 234, 234});
            }
            spans.emplace_back(a, b);
        }
        return;
    }

    if (style != CurveStyle::None && pts.size() >= 2) {
        std::vector<PointF> valid;
        valid.reserve(pts.size());
        for (const PointF& p : pts) {
            if (axes.mappable(p))
                valid.push_back(p);
        }
        std::vector<PointF> path;
        if (style == CurveStyle::Smooth && valid.size() > 2) {
            for (const PointF& p : smoothCurve(valid, subdivisions))
                path.push_back(axes.map(p));
        } else {
            for (const PointF& p : valid)
                path.push_back(axes.map(p));
        }
        drawClipped(painter, path, plot);
        // Sparse data shows its points: a 5 x 5 circle at every vertex more
        // than 12 pixels aside from the previous one.
        for (std::size_t i = 1; i < valid.size(); ++i) {
            const PointF a = axes.map(valid[i - 1]), b = axes.map(valid[i]);
            if (std::fabs(b.x - a.x) > 12 && plot.contains(b))
                painter.ellipse(b, 2.5, 2.5);
        }
    }

    if (marker != Marker::None) {
        const double h = markerHalfSize;
        for (int i = 0; i < count; ++i) {
            const PointF v = pts[static_cast<std::size_t>(i)];
            if (!axes.mappable(v))
                continue;
            const PointF p = axes.map(v);
            if (!plot.contains(p))
                continue;
            drawMarker(painter, marker, p, h);
            if (marker != Marker::CircleArrow || !targetX || !targetY)
                continue;
            const PointF tv{targetX(i), targetY(i)};
            if (!axes.mappable(tv))
                continue;
            const PointF t = axes.map(tv);
            const double dy = std::fabs(t.y - p.y);
            if (dy < h)
                continue;
            painter.line(p, t);
            if (dy >= 4 * h) {
                // Two strokes, 2 pixels aside and three half-sizes back from the tip.
                const double dir = t.y > p.y ? -1 : 1;
                painter.line(t, {t.x - 2, t.y + dir * 3 * h});
                painter.line(t, {t.x + 2, t.y + dir * 3 * h});
            }
        }
    }
}

std::vector<PointF> decimateMinMax(std::size_t n, const std::function<PointF(std::size_t)>& pixel) {
    std::vector<PointF> out;
    std::size_t i = 0;
    while (i < n) {
        const PointF first = pixel(i);
        const double column = std::floor(first.x);
        PointF last = first, lo = first, hi = first;
        std::size_t loIdx = i, hiIdx = i;
        std::size_t j = i + 1;
        for (; j < n; ++j) {
            const PointF q = pixel(j);
            if (std::floor(q.x) != column)
                break;
            if (q.y < lo.y) {
                lo = q;
                loIdx = j;
            }
            if (q.y > hi.y) {
                hi = q;
                hiIdx = j;
            }
            last = q;
        }
        // First, the extremes in the order they occur, and last: the column
        // looks as it would with every sample drawn.
        out.push_back(first);
        const std::size_t lastIdx = j - 1;
        const std::size_t a = std::min(loIdx, hiIdx), b = std::max(loIdx, hiIdx);
        const PointF pa = a == loIdx ? lo : hi, pb = a == loIdx ? hi : lo;
        if (a != i && a != lastIdx)
            out.push_back(pa);
        if (b != a && b != i && b != lastIdx)
            out.push_back(pb);
        if (lastIdx != i)
            out.push_back(last);
        i = j;
    }
    return out;
}

}  // namespace zelmora::chart
