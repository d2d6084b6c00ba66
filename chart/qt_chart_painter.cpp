#include "chart/qt_chart_painter.h"

#include <QPolygonF>

namespace zelmora::chart {

QtChartPainter::QtChartPainter(QPainter& painter, const QFont& font)
    : p_(painter), metrics_(font, painter.device()) {
    p_.setFont(font);
}

void QtChartPainter::setPen(Color c, double width) {
    QPen pen(QColor(c.r, c.g, c.b));
    pen.setWidthF(width);
    p_.setPen(pen);
    p_.setBrush(Qt::NoBrush);
}

void QtChartPainter::line(PointF a, PointF b) {
    p_.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
}

void QtChartPainter::polyline(const std::vector<PointF>& points) {
    QPolygonF poly;
    poly.reserve(static_cast<qsizetype>(points.size()));
    for (const PointF& q : points)
        poly << QPointF(q.x, q.y);
    p_.drawPolyline(poly);
}

void QtChartPainter::ellipse(PointF c, double rx, double ry) {
    p_.drawEllipse(QPointF(c.x, c.y), rx, ry);
}

void QtChartPainter::rect(const RectF& r) {
    p_.drawRect(QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom)));
}

void QtChartPainter::fillRect(const RectF& r, Color c) {
    p_.fillRect(QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom)), QColor(c.r, c.g, c.b));
}

void QtChartPainter::text(PointF at, const std::string& utf8, Align align) {
    const QString s = QString::fromStdString(utf8);
    double x = at.x;
    const double w = metrics_.horizontalAdvance(s);
    if (align == Align::Center)
        x -= w / 2;
    if (align == Align::Right)
        x -= w;
    p_.drawText(QPointF(x, at.y), s);
}

double QtChartPainter::textWidth(const std::string& utf8) {
    return metrics_.horizontalAdvance(QString::fromStdString(utf8));
}

double QtChartPainter::textHeight() {
    return metrics_.height();
}

double QtChartPainter::averageCharWidth() {
    return metrics_.averageCharWidth();
}

}  // namespace zelmora::chart
