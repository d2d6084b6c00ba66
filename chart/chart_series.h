#pragma once
// One series of a chart: points read through accessors, drawn as a
// polyline, a smooth curve, markers or bands.
//
// The smooth curve is drawn as y over x when x runs strictly one way: each
// interval is the cubic that meets both end points with the slopes of the
// parabolas through the neighbouring points (the first and last intervals
// are those parabolas themselves). Otherwise both coordinates follow a
// parameter: uniform Catmull-Rom cubics inside, parabolas at the ends.

#include <functional>
#include <vector>

#include "chart/chart_axes.h"

namespace zelmora::chart {

enum class CurveStyle { None = 0, Polyline = 1, Smooth = 2 };
enum class Marker {
    None = 0,
    Circle = 1,
    DiagonalCross = 2,
    UprightCross = 3,
    Square = 4,
    CircleArrow = 5,
    Bands = 6
};

class ChartSeries {
  public:
    int count = 0;
    std::function<double(int)> x, y;
    CurveStyle style = CurveStyle::Polyline;
    int subdivisions = 20;
    Marker marker = Marker::None;
    double markerHalfSize = 3;
    double penWidth = 1;
    Color color{0, 0, 0};
    // Arrow targets of Marker::CircleArrow, per point.
    std::function<double(int)> targetX, targetY;
    // Fill kind per band of Marker::Bands.
    std::function<int(int)> bandKind;

    static ChartSeries fromVectors(const std::vector<double>& xs, const std::vector<double>& ys);
    static ChartSeries fromFloats(const float* xs, const float* ys, int n);

    std::vector<PointF> points() const;
    void draw(ChartPainter& painter, const ChartAxes& axes) const;
};

// True when x steps strictly in the direction of its first step.
bool strictlyMonotonic(const std::vector<PointF>& pts);
// The smooth curve through the points in value space, `subdivisions` pieces
// per interval; two points or fewer give the points themselves.
std::vector<PointF> smoothCurve(const std::vector<PointF>& pts, int subdivisions = 20);

// Clips the segment a-b to the rectangle; false when nothing is visible.
bool clipSegment(PointF& a, PointF& b, const RectF& r);

// Reduces a long series to at most four points per pixel column (the first,
// the minimum and maximum in the order they occur, the last), so that a
// drawing of millions of samples costs one pass over the visible samples and
// then work proportional to the width. `pixel` gives sample i in device
// pixels, with x non-decreasing in i.
std::vector<PointF> decimateMinMax(std::size_t n, const std::function<PointF(std::size_t)>& pixel);

}  // namespace zelmora::chart
