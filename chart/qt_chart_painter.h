#pragma once
// The chart drawer on a QPainter: the screen, a printer, a PDF or an image.

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include "chart/chart_axes.h"

namespace zelmora::chart {

class QtChartPainter : public ChartPainter {
  public:
    QtChartPainter(QPainter& painter, const QFont& font);

    void setPen(Color c, double width) override;
    void line(PointF a, PointF b) override;
    void polyline(const std::vector<PointF>& points) override;
    void ellipse(PointF centre, double rx, double ry) override;
    void rect(const RectF& r) override;
    void fillRect(const RectF& r, Color c) override;
    void text(PointF at, const std::string& utf8, Align align) override;
    double textWidth(const std::string& utf8) override;
    double textHeight() override;
    double averageCharWidth() override;

  private:
    QPainter& p_;
    QFontMetricsF metrics_;
};

}  // namespace zelmora::chart
