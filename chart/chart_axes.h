#pragma once
// The chart drawer shared by the calibration graph, report pictures and the
// small graphs of dialogs: a plot rectangle, two value ranges with ticks at
// simple decimal steps (1, 2, 2.5, 3, 5 and 10 times a power of ten), and the
// series drawn into it. Everything here is plain arithmetic over a small
// painter interface, so the same chart goes to the screen, a printer, a PDF
// or an image.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelmora::chart {

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

struct PointF {
    double x = 0, y = 0;
};

struct RectF {
    double left = 0, top = 0, right = 0, bottom = 0;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
    bool contains(PointF p) const {
        return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
    }
};

enum class Align { Left, Center, Right };

// The drawing primitives a device offers; coordinates in device pixels.
class ChartPainter {
  public:
    virtual ~ChartPainter() = default;
    virtual void setPen(Color c, double width) = 0;
    virtual void line(PointF a, PointF b) = 0;
    virtual void polyline(const std::vector<PointF>& points) = 0;
    virtual void ellipse(PointF centre, double rx, double ry) = 0;
    virtual void rect(const RectF& r) = 0;
    virtual void fillRect(const RectF& r, Color c) = 0;
    // Text whose baseline starts, centres or ends at `at` by `align`.
    virtual void text(PointF at, const std::string& utf8, Align align) = 0;
    virtual double textWidth(const std::string& utf8) = 0;
    virtual double textHeight() = 0;
    virtual double averageCharWidth() = 0;
};

// Ticks of one axis: the shown range and the tick values.
struct AxisTicks {
    double lo = 0, hi = 1;  // the range the axis shows
    double step = 1;
    double first = 0, last = 1;  // first and last tick
    std::vector<double> values;
};

// Chooses the step for `spacingPx` pixels between labels on an axis of
// `lengthPx` pixels showing [lo, hi], and the axis ends: an automatic range
// is widened to whole steps when that adds less than half a step.
// Degenerate input (equal ends, NaN, zero length) is widened, never divided by.
AxisTicks computeTicks(double lo, double hi, double lengthPx, double spacingPx, bool automatic);
// The tick values from `first` while below last + step / 2, each rounded to
// a thousandth of the step's power of ten; at most kMaxTicks of them.
std::vector<double> tickValues(double first, double last, double step);
inline constexpr int kMaxTicks = 1000;
std::string tickLabel(double v);  // "%.10g"

struct AxisRange {
    double lo = 0, hi = 1;
    bool automatic = true;
    bool logarithmic = false;
};

class ChartAxes {
  public:
    RectF plot;  // plot rectangle in device pixels
    AxisRange x, y;
    bool fullFrame = false;
    bool mirroredTicks = false;
    double tickOutside = 4, tickInside = 0;
    std::string font = "Arial";
    Color frameColor{0, 0, 0};

    // Takes the automatic ranges from the data (NaN and, on logarithmic
    // axes, non-positive values skipped), then chooses the ticks of both axes
    // with the label spacing rules of the painter's font.
    void prepare(ChartPainter& painter, const std::vector<std::vector<PointF>>& data = {});
    // Data ranges for automatic axes without a painter (tests, callers that
    // measure text themselves).
    void includeData(const std::vector<PointF>& points);

    const AxisTicks& xTicks() const { return xTicks_; }
    const AxisTicks& yTicks() const { return yTicks_; }

    // Value to pixel on either axis (logarithmic axes map log10 of the value).
    double mapX(double v) const;
    double mapY(double v) const;
    PointF map(PointF v) const { return {mapX(v.x), mapY(v.y)}; }
    bool mappable(PointF v) const;

    void drawFrame(ChartPainter& painter) const;

    // Horizontal label spacing: from six average character widths upwards one
    // character at a time until two ticks are at least the widest label plus
    // three characters apart, or the spacing reaches the axis length.
    static double horizontalSpacing(double lo, double hi, double lengthPx, bool automatic,
                                    double charWidth,
                                    const std::function<double(const std::string&)>& measure);

  private:
    AxisTicks ticksFor(const AxisRange& r, double lengthPx, double spacingPx) const;

    AxisTicks xTicks_, yTicks_;
    bool dataSeen_ = false;
    double dataX0_ = 0, dataX1_ = 0, dataY0_ = 0, dataY1_ = 0;
};

}  // namespace zelmora::chart
