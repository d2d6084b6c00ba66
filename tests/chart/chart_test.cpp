#include <gtest/gtest.h>

#include <cmath>

#include "chart/chart_axes.h"
#include "chart/chart_series.h"

namespace zelmora::chart {
namespace {

// Records what is drawn; text is measured as 7 pixels a character, 12 high.
class RecordingPainter : public ChartPainter {
  public:
    void setPen(Color, double) override {}
    void line(PointF a, PointF b) override { lines.push_back({a, b}); }
    void polyline(const std::vector<PointF>& p) override { polylines.push_back(p); }
    void ellipse(PointF c, double rx, double) override { circles.push_back({c, rx}); }
    void rect(const RectF& r) override { rects.push_back(r); }
    void fillRect(const RectF& r, Color c) override { fills.push_back({r, c}); }
    void text(PointF at, const std::string& s, Align) override { texts.push_back({at, s}); }
    double textWidth(const std::string& s) override { return 7.0 * s.size(); }
    double textHeight() override { return 12; }
    double averageCharWidth() override { return 7; }

    std::vector<std::pair<PointF, PointF>> lines;
    std::vector<std::vector<PointF>> polylines;
    std::vector<std::pair<PointF, double>> circles;
    std::vector<RectF> rects;
    std::vector<std::pair<RectF, Color>> fills;
    std::vector<std::pair<PointF, std::string>> texts;
};

TEST(ChartTicks, StepsAndEndsOfAutomaticAndGivenRanges) {
    // One label spacing covers 1.6 units: step 2, axis 0 .. 8.
    AxisTicks t = computeTicks(0, 7.3, 730, 160, true);
    EXPECT_DOUBLE_EQ(t.step, 2);
    EXPECT_DOUBLE_EQ(t.lo, 0);
    EXPECT_DOUBLE_EQ(t.hi, 8);
    EXPECT_EQ(t.values, (std::vector<double>{0, 2, 4, 6, 8}));
    // A given range keeps its ends; labels 0.2 .. 0.8.
    t = computeTicks(0.13, 0.97, 840, 200, false);
    EXPECT_NEAR(t.step, 0.2, 1e-12);
    EXPECT_DOUBLE_EQ(t.lo, 0.13);
    EXPECT_DOUBLE_EQ(t.hi, 0.97);
    ASSERT_EQ(t.values.size(), 4u);
    std::vector<std::string> labels;
    for (double v : t.values)
        labels.push_back(tickLabel(v));
    EXPECT_EQ(labels, (std::vector<std::string>{"0.2", "0.4", "0.6", "0.8"}));
    // The multipliers at their thresholds.
    auto stepFor = [](double e) { return computeTicks(0, 100, 100, e, false).step; };
    EXPECT_DOUBLE_EQ(stepFor(1.4), 1);
    EXPECT_DOUBLE_EQ(stepFor(1.6), 2);
    EXPECT_DOUBLE_EQ(stepFor(2.5), 2.5);
    EXPECT_DOUBLE_EQ(stepFor(2.8), 3);
    EXPECT_DOUBLE_EQ(stepFor(4), 5);
    EXPECT_DOUBLE_EQ(stepFor(8), 10);
    // Sums of a decimal step do not drift.
    t = computeTicks(0, 1, 1000, 100, true);
    EXPECT_EQ(tickLabel(t.values[3]), "0.3");
    EXPECT_EQ(tickLabel(t.values.back()), "1");
}

TEST(ChartTicks, DegenerateRangesAreWidenedAndBounded) {
    for (auto [lo, hi] : std::vector<std::pair<double, double>>{
             {5.0, 5.0}, {0.0, 0.0}, {NAN, 1.0}, {3.0, -3.0}, {1e300, INFINITY}}) {
        const AxisTicks t = computeTicks(lo, hi, 500, 50, true);
        EXPECT_LT(t.lo, t.hi);
        EXPECT_FALSE(t.values.empty());
        EXPECT_LE(t.values.size(), static_cast<std::size_t>(kMaxTicks));
    }
    // Zero-length axis and a zero spacing.
    EXPECT_LE(computeTicks(0, 1, 0, 0, true).values.size(), static_cast<std::size_t>(kMaxTicks));
    EXPECT_LE(computeTicks(0, 1e9, 1e6, 0.001, true).values.size(),
              static_cast<std::size_t>(kMaxTicks));
    EXPECT_TRUE(tickValues(0, 1, 0).empty());
    EXPECT_EQ(tickLabel(-0.0), "0");
}

TEST(ChartAxesTest, LabelSpacingMappingAndFrame) {
    // Labels of 0..1000 are 4 characters wide: the spacing grows until two
    // ticks are at least 4 + 3 characters apart.
    const double s = ChartAxes::horizontalSpacing(
        0, 1000, 600, true, 7, [](const std::string& t) { return 7.0 * t.size(); });
    const AxisTicks t = computeTicks(0, 1000, 600, s, true);
    EXPECT_GE(600 * t.step / (t.hi - t.lo), 7 * 7.0);
    EXPECT_GE(s, 42);

    RecordingPainter p;
    ChartAxes axes;
    axes.plot = {50, 10, 650, 410};
    axes.prepare(p, {{{0, 0}, {7.3, 3.1}}});
    EXPECT_DOUBLE_EQ(axes.mapX(axes.xTicks().lo), 50);
    EXPECT_DOUBLE_EQ(axes.mapX(axes.xTicks().hi), 650);
    EXPECT_DOUBLE_EQ(axes.mapY(axes.yTicks().lo), 410);
    EXPECT_DOUBLE_EQ(axes.mapY(axes.yTicks().hi), 10);
    axes.drawFrame(p);
    EXPECT_EQ(p.texts.size(), axes.xTicks().values.size() + axes.yTicks().values.size());
    EXPECT_EQ(p.lines.size(), 2 + axes.xTicks().values.size() + axes.yTicks().values.size());

    // Logarithmic: log10 is mapped; non-positive values are not mappable.
    ChartAxes log;
    log.plot = {0, 0, 300, 300};
    log.x.logarithmic = true;
    log.x.automatic = false;
    log.x.lo = 1;
    log.x.hi = 1000;
    log.prepare(p);
    EXPECT_NEAR(log.mapX(10), 100, 1e-9);
    EXPECT_FALSE(log.mappable({0, 1}));
    EXPECT_TRUE(std::isnan(log.mapX(-1)));
}

TEST(ChartSmooth, FunctionalAndParametricForms) {
    // x going 0, 1, 1, 2 is not strictly monotonic: drawn parametrically.
    const std::vector<PointF> zigzag{{0, 0}, {1, 1}, {1, 2}, {2, 3}};
    EXPECT_FALSE(strictlyMonotonic(zigzag));
    EXPECT_TRUE(strictlyMonotonic({{3, 0}, {2, 1}, {0, 2}}));
    auto c = smoothCurve(zigzag, 20);
    ASSERT_EQ(c.size(), 61u);
    for (std::size_t i = 0; i < zigzag.size(); ++i) {
        EXPECT_NEAR(c[i * 20].x, zigzag[i].x, 1e-12);
        EXPECT_NEAR(c[i * 20].y, zigzag[i].y, 1e-12);
    }
    // Three points: the parabola through them (y = x^2 here).
    c = smoothCurve({{0, 0}, {1, 1}, {2, 4}}, 4);
    for (const PointF& p : c)
        EXPECT_NEAR(p.y, p.x * p.x, 1e-12);
    // A cubic's samples: inner intervals meet the points and the curve stays
    // smooth (the slope is continuous at the inner points).
    std::vector<PointF> pts;
    for (int i = 0; i <= 5; ++i)
        pts.push_back({double(i), std::sin(i * 0.7)});
    c = smoothCurve(pts, 20);
    for (int i = 0; i <= 5; ++i)
        EXPECT_NEAR(c[i * 20].y, pts[i].y, 1e-12);
    for (int i = 2; i <= 3; ++i) {
        const std::size_t k = static_cast<std::size_t>(i) * 20;
        const double left = (c[k].y - c[k - 1].y) / (c[k].x - c[k - 1].x);
        const double right = (c[k + 1].y - c[k].y) / (c[k + 1].x - c[k].x);
        EXPECT_NEAR(left, right, 0.05) << i;
    }
    // Two points: the points themselves (one straight segment).
    EXPECT_EQ(smoothCurve({{0, 0}, {1, 1}}).size(), 2u);
}

TEST(ChartSeriesTest, ClippingSparseCirclesMarkersAndBands) {
    PointF a{-10, 5}, b{20, 5};
    ASSERT_TRUE(clipSegment(a, b, {0, 0, 10, 10}));
    EXPECT_DOUBLE_EQ(a.x, 0);
    EXPECT_DOUBLE_EQ(b.x, 10);
    PointF c{-5, -5}, d{-1, -1};
    EXPECT_FALSE(clipSegment(c, d, {0, 0, 10, 10}));

    RecordingPainter p;
    ChartAxes axes;
    axes.plot = {0, 0, 100, 100};
    axes.x = {0, 10, false, false};
    axes.y = {0, 10, false, false};
    axes.prepare(p);
    const std::vector<double> xs{0, 5, 5.5, 10, 20}, ys{0, 5, 5, NAN, 5};
    ChartSeries s = ChartSeries::fromVectors(xs, ys);
    s.marker = Marker::Square;
    s.draw(p, axes);
    // Circles at the sparse vertices (50 px and more apart), not at 5.5 (5 px).
    int sparse = 0;
    for (const auto& [centre, r] : p.circles)
        sparse += r == 2.5;
    EXPECT_EQ(sparse, 1);
    // NaN skipped; the point at x = 20 lies outside: no marker there.
    EXPECT_EQ(p.rects.size(), 3u);
    for (const auto& line : p.polylines)
        for (const PointF& q : line)
            EXPECT_TRUE(axes.plot.contains(q));

    RecordingPainter bands;
    const std::vector<double> from{1, 3}, to{4, 6};
    ChartSeries b2 = ChartSeries::fromVectors(from, to);
    b2.marker = Marker::Bands;
    b2.bandKind = [](int i) { return i; };
    b2.draw(bands, axes);
    ASSERT_EQ(bands.fills.size(), 3u);
    EXPECT_EQ(bands.fills[0].second, (Color{234, 255, 255}));
    EXPECT_EQ(bands.fills[1].second, (Color{255, 255, 234}));
    EXPECT_EQ(bands.fills[2].second, (Color{255, 234, 234}));  // the overlap 3..4
    EXPECT_DOUBLE_EQ(bands.fills[2].first.left, 30);
    EXPECT_DOUBLE_EQ(bands.fills[2].first.right, 40);
}

TEST(ChartSeriesTest, ArrowMarkerRules) {
    RecordingPainter p;
    ChartAxes axes;
    axes.plot = {0, 0, 100, 100};
    axes.x = {0, 100, false, false};
    axes.y = {0, 100, false, false};
    axes.prepare(p);
    const std::vector<double> xs{10, 20, 30}, ys{50, 50, 50}, tx{10, 20, 30}, ty{51, 58, 80};
    ChartSeries s = ChartSeries::fromVectors(xs, ys);
    s.style = CurveStyle::None;
    s.marker = Marker::CircleArrow;
    s.markerHalfSize = 3;
    s.targetX = [&](int i) { return tx[static_cast<std::size_t>(i)]; };
    s.targetY = [&](int i) { return ty[static_cast<std::size_t>(i)]; };
    s.draw(p, axes);
    EXPECT_EQ(p.circles.size(), 3u);
    // 1 px: no arrow; 8 px: line only; 30 px: line and two strokes.
    EXPECT_EQ(p.lines.size(), 1u + 3u);
}

TEST(ChartDecimation, AtMostFourPointsPerColumnKeepingExtremes) {
    const std::size_t n = 1'000'000;
    auto pixel = [n](std::size_t i) {
        return PointF{static_cast<double>(i) * 1000.0 / n,
                      std::sin(i * 0.001) + (i == 123457 ? 5 : 0)};
    };
    const auto out = decimateMinMax(n, pixel);
    EXPECT_LE(out.size(), 4000u);
    EXPECT_GE(out.size(), 1000u);
    double maxY = -10;
    for (const PointF& p : out)
        maxY = std::max(maxY, p.y);
    EXPECT_DOUBLE_EQ(maxY, pixel(123457).y);  // the spike survives
    for (std::size_t i = 1; i < out.size(); ++i)
        EXPECT_LE(out[i - 1].x, out[i].x);
    EXPECT_TRUE(decimateMinMax(0, pixel).empty());
    EXPECT_EQ(decimateMinMax(1, pixel).size(), 1u);
}

}  // namespace
}  // namespace zelmora::chart
