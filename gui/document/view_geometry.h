#pragma once
// Where the chromatogram lies in the view: the plot rectangle in widget
// pixels and the visible time (min) and signal (mV) ranges, with the mapping
// between them. Ranges are kept with lo < hi, and the rectangle at least one
// pixel wide and high, so the mapping never divides by zero.

#include "chart/chart_axes.h"

namespace zelmora::gui {

struct ViewGeometry {
    chart::RectF plot{0, 0, 1, 1};
    double t0 = 0, t1 = 1;  // visible time range, min
    double y0 = 0, y1 = 1;  // visible signal range, mV

    double width() const { return plot.width() > 0 ? plot.width() : 1; }
    double height() const { return plot.height() > 0 ? plot.height() : 1; }
    double timeSpan() const { return t1 > t0 ? t1 - t0 : 1; }
    double valueSpan() const { return y1 > y0 ? y1 - y0 : 1; }

    double xOf(double t) const { return plot.left + (t - t0) * width() / timeSpan(); }
    double yOf(double v) const { return plot.bottom - (v - y0) * height() / valueSpan(); }
    double timeAt(double x) const { return t0 + (x - plot.left) * timeSpan() / width(); }
    double valueAt(double y) const { return y0 + (plot.bottom - y) * valueSpan() / height(); }
    // Minutes covered by one pixel column.
    double minutesPerPixel() const { return timeSpan() / width(); }
};

}  // namespace zelmora::gui
