#include "chart/chart_axes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/text.h"

namespace zelmora::chart {
namespace {

// A usable range: finite ends, lo < hi. Equal ends are widened by one unit of
// their magnitude (or by 1 around zero).
void sanitise(double& lo, double& hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    }
    if (lo > hi)
        std::swap(lo, hi);
    if (hi - lo <= std::fabs(hi) * 1e-12 || hi == lo) {
        const double w = lo == 0 ? 1 : std::fabs(lo) * 0.5;
        lo -= w;
        hi += w;
    }
}

}  // namespace

AxisTicks computeTicks(double lo, double hi, double lengthPx, double spacingPx, bool automatic) {
    sanitise(lo, hi);
    if (!(lengthPx > 0) || !std::isfinite(lengthPx))
        lengthPx = 1;
    if (!(spacingPx > 0) || !std::isfinite(spacingPx))
        spacingPx = lengthPx;
    // Never more ticks than kMaxTicks, whatever the spacing asked for.
    spacingPx = std::max(spacingPx, lengthPx / kMaxTicks * 2);

    const double e = spacingPx * (hi - lo) / lengthPx;
    const double p = std::floor(std::log10(e));
    const double g = e / std::pow(10.0, p);
    double d = 1;
    if (g > 7.5)
        d = 10;
    else if (g > 3.5)
        d = 5;
    else if (g > 2.6)
        d = 3;
    else if (g > 2.4)
        d = 2.5;
    else if (g > 1.5)
        d = 2;
    AxisTicks t;
    t.step = std::pow(10.0, p) * d;
    t.lo = lo;
    t.hi = hi;
    const double l = std::floor(lo / t.step) * t.step;
    if (automatic && lo - l < t.step / 2) {
        t.lo = l;
        t.first = l;
    } else {
        t.first = std::ceil(lo / t.step - 0.01) * t.step;
    }
    const double u = std::ceil(hi / t.step) * t.step;
    if (automatic && u - hi < t.step / 2) {
        t.hi = u;
        t.last = u;
    } else {
        t.last = std::floor(hi / t.step + 0.01) * t.step;
    }
    t.values = tickValues(t.first, t.last, t.step);
    return t;
}

std::vector<double> tickValues(double first, double last, double step) {
    std::vector<double> out;
    if (!(step > 0) || !std::isfinite(first) || !std::isfinite(last))
        return out;
    const double quantum = std::pow(10.0, std::floor(std::log10(step)) - 3);
    double v = first;
    while (v < last + step / 2 && out.size() < static_cast<std::size_t>(kMaxTicks)) {
        out.push_back(v);
        v = std::round((v + step) / quantum) * quantum;
    }
    return out;
}

std::string tickLabel(double v) {
    if (v == 0)
        v = 0;  // no "-0"
    return text::format("%.10g", v);
}

double ChartAxes::horizontalSpacing(double lo, double hi, double lengthPx, bool automatic,
                                    double charWidth,
                                    const std::function<double(const std::string&)>& measure) {
    if (!(charWidth > 0))
        charWidth = 1;
    if (!(lengthPx > 0))
        return charWidth * 6;
    double spacing = charWidth * 6;
    while (true) {
        const AxisTicks t = computeTicks(lo, hi, lengthPx, spacing, automatic);
        double widest = 0;
        for (double v : t.values)
            widest = std::max(widest, measure(tickLabel(v)));
        const double distance = lengthPx * t.step / (t.hi - t.lo);
        if (distance >= widest + 3 * charWidth || spacing >= lengthPx)
            return spacing;
        spacing += charWidth;
    }
}

void ChartAxes::includeData(const std::vector<PointF>& points) {
    for (const PointF& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            continue;
        if ((x.logarithmic && p.x <= 0) || (y.logarithmic && p.y <= 0))
            continue;
        if (!dataSeen_) {
            dataX0_ = dataX1_ = p.x;
            dataY0_ = dataY1_ = p.y;
            dataSeen_ = true;
        } else {
            dataX0_ = std::min(dataX0_, p.x);
            dataX1_ = std::max(dataX1_, p.x);
            dataY0_ = std::min(dataY0_, p.y);
            dataY1_ = std::max(dataY1_, p.y);
        }
    }
    if (dataSeen_) {
        if (x.automatic) {
            x.lo = dataX0_;
            x.hi = dataX1_;
        }
        if (y.automatic) {
            y.lo = dataY0_;
            y.hi = dataY1_;
        }
    }
}

AxisTicks ChartAxes::ticksFor(const AxisRange& r, double lengthPx, double spacingPx) const {
    if (!r.logarithmic)
        return computeTicks(r.lo, r.hi, lengthPx, spacingPx, r.automatic);
    // A logarithmic axis works on the decimal logarithm of its values; a
    // non-positive end is replaced by a small positive one.
    double lo = r.lo > 0 ? r.lo : (r.hi > 0 ? r.hi / 1000 : 1);
    double hi = r.hi > 0 ? r.hi : lo * 10;
    return computeTicks(std::log10(lo), std::log10(hi), lengthPx, spacingPx, r.automatic);
}

void ChartAxes::prepare(ChartPainter& painter, const std::vector<std::vector<PointF>>& data) {
    for (const auto& d : data)
        includeData(d);
    const double lengthX = plot.width(), lengthY = plot.height();
    const double charWidth = painter.averageCharWidth();
    // The horizontal spacing is measured on the axis's own values (for a
    // logarithmic axis, on the labels of the logarithms, as they are shown).
    AxisRange rx = x;
    if (rx.logarithmic) {
        const AxisTicks probe = ticksFor(x, lengthX, lengthX);
        rx = {probe.lo, probe.hi, x.automatic, false};
    }
    const double sx = horizontalSpacing(rx.lo, rx.hi, lengthX, rx.automatic, charWidth,
                                        [&](const std::string& s) { return painter.textWidth(s); });
    xTicks_ = ticksFor(x, lengthX, sx);
    yTicks_ = ticksFor(y, lengthY, 2 * painter.textHeight());
}

namespace {
double mapAxis(double v, const AxisTicks& t, bool log, double p0, double p1) {
    if (log) {
        if (!(v > 0))
            return std::numeric_limits<double>::quiet_NaN();
        v = std::log10(v);
    }
    return p0 + (v - t.lo) * (p1 - p0) / (t.hi - t.lo);
}
}  // namespace

double ChartAxes::mapX(double v) const {
    return mapAxis(v, xTicks_, x.logarithmic, plot.left, plot.right);
}

double ChartAxes::mapY(double v) const {
    return mapAxis(v, yTicks_, y.logarithmic, plot.bottom, plot.top);
}

bool ChartAxes::mappable(PointF v) const {
    if (!std::isfinite(v.x) || !std::isfinite(v.y))
        return false;
    if (x.logarithmic && v.x <= 0)
        return false;
    if (y.logarithmic && v.y <= 0)
        return false;
    return true;
}

void ChartAxes::drawFrame(ChartPainter& painter) const {
    painter.setPen(frameColor, 1);
    const PointF bl{plot.left, plot.bottom}, br{plot.right, plot.bottom};
    const PointF tl{plot.left, plot.top}, tr{plot.right, plot.top};
    painter.line(bl, br);
    painter.line(bl, tl);
    if (fullFrame || mirroredTicks) {
        painter.line(tl, tr);
        painter.line(br, tr);
    }
    const double th = painter.textHeight();
    for (double v : xTicks_.values) {
        const double px = plot.left + (v - xTicks_.lo) * plot.width() / (xTicks_.hi - xTicks_.lo);
        painter.line({px, plot.bottom + tickOutside}, {px, plot.bottom - tickInside});
        if (mirroredTicks)
            painter.line({px, plot.top - tickOutside}, {px, plot.top + tickInside});
        painter.text({px, plot.bottom + tickOutside + th},
                     tickLabel(x.logarithmic ? std::pow(10.0, v) : v), Align::Center);
    }
    for (double v : yTicks_.values) {
        const double py =
            plot.bottom - (v - yTicks_.lo) * plot.height() / (yTicks_.hi - yTicks_.lo);
        painter.line({plot.left - tickOutside, py}, {plot.left + tickInside, py});
        if (mirroredTicks)
            painter.line({plot.right + tickOutside, py}, {plot.right - tickInside, py});
        painter.text({plot.left - tickOutside - 2, py},
                     tickLabel(y.logarithmic ? std::pow(10.0, v) : v), Align::Right);
    }
}

}  // namespace zelmora::chart
