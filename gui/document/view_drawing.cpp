#include "gui/document/view_drawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "app/text.h"
#include "chart/chart_series.h"
#include "chart/qt_chart_painter.h"
#include "document/zelmora_doc.h"
#include "method/document_method.h"
#include "processing/identification.h"
#include "processing/signal_helpers.h"

namespace zelmora::gui {
namespace {

constexpr double kTickOutside = 4;

QColor rgb(const std::uint8_t (&c)[3]) {
    return QColor(c[0], c[1], c[2]);
}

// Pixel rows far outside the plot stand for values the float trace holds but
// the device cannot: infinite samples, or a zoom into a tiny range.
double clampRow(double y, const chart::RectF& plot) {
    return std::clamp(y, plot.top - 1e4, plot.bottom + 1e4);
}

double clampColumn(double x, const chart::RectF& plot) {
    return std::clamp(x, plot.left - 1e4, plot.right + 1e4);
}

void flushRun(QPainter& p, QPolygonF& run) {
    if (run.size() >= 2)
        p.drawPolyline(run);
    else if (run.size() == 1)
        p.drawPoint(run.front());
    run.clear();
}

// Upward text beginning at `start`; `offset` moves its baseline to the right
// of `start` (negative: to the left).
void drawUpwardText(QPainter& p, QPointF start, double offset, const QString& s) {
    p.save();
    p.translate(start);
    p.rotate(-90);
    p.drawText(QPointF(0, offset), s);
    p.restore();
}

}  // namespace

RetentionWindows retentionWindows(const CZelmoraDoc& doc, bool shown) {
    RetentionWindows w;
    const Method* method = shown ? documentMethod(doc) : nullptr;
    if (method == nullptr)
        return w;
    const double s =
        std::isfinite(doc.retentionFactor) && doc.retentionFactor > 0 ? doc.retentionFactor : 1.0;
    const bool byTime = method->calculation.identification == kIdentifyByTime;
    for (const MethodComponent& c : method->calculation.components) {
        if (!byTime && !c.reference) {
            const auto t = IndexWindowTimes(doc.peaks, method->calculation, c);
            if (t && t->first != 0 && t->second != 0) {
                w.starts.push_back(static_cast<float>(t->first));
                w.ends.push_back(static_cast<float>(t->second));
                w.kinds.push_back(method->calculation.identification);
            }
            continue;
        }
        const double a = c.retentionTime * s * (1 - c.window / 100);
        const double b = c.retentionTime * s * (1 + c.window / 100);
        if (!std::isfinite(a) || !std::isfinite(b))
            continue;
        w.starts.push_back(static_cast<float>(a));
        w.ends.push_back(static_cast<float>(b));
        w.kinds.push_back(0);
    }
    return w;
}

std::string peakLabel(int index, double apexTime, const std::string& name, bool number, bool time,
                      bool componentName) {
    std::string out;
    auto add = [&out](const std::string& part) {
        if (part.empty())
            return;
        if (!out.empty())
            out += "  ";
        out += part;
    };
    if (number)
        add(text::format("%d", index + 1));
    if (time)
        add(text::format("%.3f", apexTime));
    if (componentName)
        add(name);
    return out;
}

ChromatogramPicture::ChromatogramPicture() = default;

QFont ChromatogramPicture::viewFont() {
    QFont f(QStringLiteral("Arial"), 8);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QFont ChromatogramPicture::labelFont() {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    f.setWeight(QFont::Normal);
    return f;
}

ViewGeometry ChromatogramPicture::layout(QSizeF size, double t0, double t1, double y0,
                                         double y1) const {
    const QFontMetricsF fm(viewFont());
    const double th = fm.height();
    ViewGeometry g;
    g.t0 = t0;
    g.t1 = t1;
    g.y0 = y0;
    g.y1 = y1;
    const double top = std::round(th / 2 + 8);
    const double bottom = std::round(size.height() - (kTickOutside + 2 * th + 10));
    const chart::AxisTicks ticks =
        chart::computeTicks(y0, y1, std::max(1.0, bottom - top), 2 * th, false);
    double widest = 0;
    for (double v : ticks.values)
        widest =
            std::max(widest, fm.horizontalAdvance(QString::fromStdString(chart::tickLabel(v))));
    const double left = std::round(6 + th + 6 + widest + 2 + kTickOutside);
    const double right = std::round(size.width() - std::max(16.0, fm.averageCharWidth() * 3));
    g.plot = {left, top, std::max(right, left + 1), std::max(bottom, top + 1)};
    return g;
}

void ChromatogramPicture::draw(QPainter& p, QSizeF size, const ViewGeometry& g,
                               const ViewScene& scene) {
    p.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    samplesVisited_ = 0;
    drawAxes(p, size, g, scene);
    if (scene.doc == nullptr)
        return;
    // Uncontended unless a channel is still recording into this trace.
    std::lock_guard lock(scene.doc->recordingMutex);
    drawCurve(p, g, *scene.doc);
    drawPeaks(p, g, scene);
}

void ChromatogramPicture::drawAxes(QPainter& p, QSizeF size, const ViewGeometry& g,
                                   const ViewScene& scene) const {
    p.save();
    chart::QtChartPainter cp(p, viewFont());
    chart::ChartAxes axes;
    axes.plot = g.plot;
    axes.x = {g.t0, g.t1, false, false};
    axes.y = {g.y0, g.y1, false, false};
    axes.fullFrame = true;
    axes.tickOutside = kTickOutside;
    axes.prepare(cp);

    if (scene.windows != nullptr && !scene.windows->empty()) {
        const RetentionWindows& w = *scene.windows;
        chart::ChartSeries bands = chart::ChartSeries::fromFloats(
            w.starts.data(), w.ends.data(),
            static_cast<int>(std::min(w.starts.size(), w.ends.size())));
        bands.marker = chart::Marker::Bands;
        bands.style = chart::CurveStyle::None;
        bands.bandKind = [&w](int i) {
            return static_cast<std::size_t>(i) < w.kinds.size()
                       ? w.kinds[static_cast<std::size_t>(i)]
                       : 0;
        };
        bands.draw(cp, axes);
    }
    axes.drawFrame(cp);

    // Titles: the signal axis upwards at the far left, the time axis under its labels.
    const QFontMetricsF fm(viewFont());
    p.setPen(Qt::black);
    const QString yTitle = QStringLiteral("Отклик, мВ");
    const double yCentre = (g.plot.top + g.plot.bottom) / 2;
    drawUpwardText(p, QPointF(6 + fm.ascent(), yCentre + fm.horizontalAdvance(yTitle) / 2), 0,
                   yTitle);
    std::string xTitle = "Время, мин";
    if (scene.doc != nullptr) {
        const std::string_view sample = text::trim(scene.doc->passport.sample);
        if (!sample.empty())
            xTitle = std::string(sample) + ";   " + xTitle;
    }
    const QString xt = QString::fromStdString(xTitle);
    const double baseline = g.plot.bottom + kTickOutside + 2 * fm.height() + 2;
    const double xCentre = (g.plot.left + g.plot.right) / 2;
    p.drawText(QPointF(std::max(2.0, xCentre - fm.horizontalAdvance(xt) / 2),
                       std::min(baseline, size.height() - fm.descent())),
               xt);
    p.restore();
}

void ChromatogramPicture::buildColumns(const ViewGeometry& g, const CZelmoraDoc& doc, int width) {
    const Signal& s = doc.signal;
    const std::size_t n = s.size();
    const float* d = s.samples.data();
    CurveCache& c = cache_;
    c.data = d;
    c.n = n;
    c.signalT0 = s.t0;
    c.signalDt = s.dt;
    c.t0 = g.t0;
    c.t1 = g.t1;
    c.width = width;
    c.generation = generation_;
    // Column k holds the samples whose times lie in [t0 + k w, t0 + (k + 1) w)
    // for the width w of a pixel: those an aliased drawing puts into pixel
    // column left + k.
    const int columns = width;
    c.columns.assign(static_cast<std::size_t>(columns), Column{});
    const double span = g.t1 - g.t0;
    const auto bound = [&](int k) {
        const double pos = (g.t0 + span * k / width - s.t0) / s.dt;
        return static_cast<std::size_t>(
            ClampIndex(std::ceil(pos), 0, static_cast<std::int64_t>(n)));
    };
    std::size_t from = bound(0);
    const std::size_t firstSample = from;
    for (int k = 0; k < columns; ++k) {
        const std::size_t to = bound(k + 1);
        Column& col = c.columns[static_cast<std::size_t>(k)];
        if (to > from) {
            float lo = std::numeric_limits<float>::infinity();
            float hi = -std::numeric_limits<float>::infinity();
            // NaN compares false and is skipped by both.
            for (std::size_t i = from; i < to; ++i) {
                const float v = d[i];
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
            if (lo <= hi) {
                std::size_t a = from, b = to - 1;
                while (std::isnan(d[a]))
                    ++a;
                while (std::isnan(d[b]))
                    --b;
                col = Column{d[a], d[b], lo, hi, a, b, true};
            }
            samplesVisited_ += to - from;
        }
        from = std::max(from, to);
    }
    c.before = firstSample > 0 ? static_cast<long long>(firstSample) - 1 : -1;
    c.after = from < n ? static_cast<long long>(from) : -1;
}

void ChromatogramPicture::drawCurve(QPainter& p, const ViewGeometry& g, const CZelmoraDoc& doc) {
    const Signal& s = doc.signal;
    const std::size_t n = s.size();
    if (n == 0 || !HasTimeBase(s))
        return;
    p.save();
    p.setClipRect(QRectF(QPointF(g.plot.left, g.plot.top), QPointF(g.plot.right, g.plot.bottom)));
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(rgb(kCurveRgb));
    pen.setWidth(0);
    p.setPen(pen);

    const int width = std::max(1, static_cast<int>(std::lround(g.width())));
    const double visibleSamples = (g.t1 - g.t0) / s.dt;
    const auto yOf = [&](float v) { return clampRow(g.yOf(v), g.plot); };
    const auto xOfSample = [&](double i) { return clampColumn(g.xOf(s.timeAt(i)), g.plot); };
    QPolygonF run;
    if (visibleSamples <= 2.0 * width) {
        const auto last = static_cast<std::int64_t>(n) - 1;
        const std::int64_t i0 = ClampIndex(std::floor((g.t0 - s.t0) / s.dt) - 1, 0, last);
        const std::int64_t i1 = ClampIndex(std::ceil((g.t1 - s.t0) / s.dt) + 1, 0, last);
        run.reserve(static_cast<qsizetype>(i1 - i0 + 1));
        for (std::int64_t i = i0; i <= i1; ++i) {
            const float v = s.samples[static_cast<std::size_t>(i)];
            if (std::isnan(v)) {
                flushRun(p, run);
                continue;
            }
            run << QPointF(xOfSample(static_cast<double>(i)), yOf(v));
        }
        samplesVisited_ = static_cast<std::size_t>(i1 - i0 + 1);
        flushRun(p, run);
        p.restore();
        return;
    }

    const CurveCache& c = cache_;
    if (c.data != s.samples.data() || c.n != n || c.signalT0 != s.t0 || c.signalDt != s.dt ||
        c.t0 != g.t0 || c.t1 != g.t1 || c.width != width || c.generation != generation_)
        buildColumns(g, doc, width);

    run.reserve(static_cast<qsizetype>(c.columns.size() * 4 + 2));
    if (c.before >= 0 && !std::isnan(s.samples[static_cast<std::size_t>(c.before)]))
        run << QPointF(xOfSample(static_cast<double>(c.before)),
                       yOf(s.samples[static_cast<std::size_t>(c.before)]));
    for (std::size_t k = 0; k < c.columns.size(); ++k) {
        const Column& col = c.columns[k];
        if (!col.any) {
            flushRun(p, run);
            continue;
        }
        // The first and last sample where they lie, so that the joins to the
        // neighbouring columns are those of the full drawing; the extremes
        // in the middle of the column, a falling column drawn top down and a
        // rising one bottom up.
        const double x = g.plot.left + static_cast<double>(k) + 0.5;
        run << QPointF(xOfSample(static_cast<double>(col.firstIndex)), yOf(col.first));
        if (col.first > col.last)
            run << QPointF(x, yOf(col.hi)) << QPointF(x, yOf(col.lo));
        else
            run << QPointF(x, yOf(col.lo)) << QPointF(x, yOf(col.hi));
        run << QPointF(xOfSample(static_cast<double>(col.lastIndex)), yOf(col.last));
    }
    if (c.after >= 0 && !std::isnan(s.samples[static_cast<std::size_t>(c.after)]))
        run << QPointF(xOfSample(static_cast<double>(c.after)),
                       yOf(s.samples[static_cast<std::size_t>(c.after)]));
    flushRun(p, run);
    p.restore();
}

void ChromatogramPicture::drawPeaks(QPainter& p, const ViewGeometry& g,
                                    const ViewScene& scene) const {
    const CZelmoraDoc& doc = *scene.doc;
    const auto& peaks = doc.peaks.peaks;
    if (peaks.empty())
        return;
    const chart::RectF& r = g.plot;
    p.save();
    p.setClipRect(QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom)));
    p.setRenderHint(QPainter::Antialiasing, false);
    const QFont font = labelFont();
    p.setFont(font);
    const QFontMetricsF fm(font);
    const auto row = [&](double v) { return clampRow(g.yOf(v), r); };
    const auto column = [&](double t) { return clampColumn(g.xOf(t), r); };
    const bool hasSignal = !doc.signal.empty();
    const auto signalRow = [&](double t) {
        return hasSignal ? row(SignalValueAt(doc.signal, t)) : r.bottom;
    };

    if (scene.showGroups) {
        // The common baseline of every unresolved group, under its peaks.
        QPen pen(QColor(0, 150, 0));
        pen.setWidth(3);
        p.setPen(pen);
        for (std::size_t k = 0; k < peaks.size(); ++k) {
            const Peak& head = peaks[k];
            if (head.prevInGroup >= 0 || head.nextInGroup < 0)
                continue;
            std::size_t tail = k, steps = 0;
            while (peaks[tail].nextInGroup >= 0 &&
                   static_cast<std::size_t>(peaks[tail].nextInGroup) < peaks.size() &&
                   steps++ < peaks.size())
                tail = static_cast<std::size_t>(peaks[tail].nextInGroup);
            const QPointF a(column(head.startTime), row(head.baselineAtStart));
            const QPointF b(column(peaks[tail].endTime), row(peaks[tail].baselineAtEnd));
            if (std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x()) &&
                std::isfinite(b.y()))
                p.drawLine(a, b);
        }
    }

    const auto drawPeak = [&](std::size_t k, const QColor& colour) {
        const Peak& pk = peaks[k];
        const double xs = column(pk.startTime), xe = column(pk.endTime);
        const double ys = row(pk.baselineAtStart), ye = row(pk.baselineAtEnd);
        if (!std::isfinite(xs) || !std::isfinite(xe) || !std::isfinite(ys) || !std::isfinite(ye))
            return;
        if (std::max(xs, xe) < r.left - 1 || std::min(xs, xe) > r.right + 1)
            return;
        QPen pen(colour);
        pen.setWidth(0);
        p.setPen(pen);
        p.drawLine(QPointF(xs, ys), QPointF(xe, ye));
        if (scene.markPeek == 1) {
            const double upS = pk.prevInGroup >= 0 ? signalRow(pk.startTime) : ys - 24;
            const double upE = pk.nextInGroup >= 0 ? signalRow(pk.endTime) : ye - 24;
            p.drawLine(QPointF(xs, upS), QPointF(xs, ys + 8));
            p.drawLine(QPointF(xe, upE), QPointF(xe, ye + 8));
        } else {
            p.drawLine(QPointF(xs, r.top), QPointF(xs, r.bottom));
            p.drawLine(QPointF(xe, r.top), QPointF(xe, r.bottom));
            if (xe - xs > 10) {
                const QPointF left[3] = {{xs, r.top}, {xs + 4, r.top + 4}, {xs, r.top + 8}};
                const QPointF right[3] = {{xe, r.top}, {xe - 4, r.top + 4}, {xe, r.top + 8}};
                p.drawPolyline(left, 3);
                p.drawPolyline(right, 3);
            }
        }

        const std::string label = peakLabel(static_cast<int>(k), pk.apexTime, pk.componentName,
                                            scene.nameNumber, scene.nameTime, scene.nameName);
        if (label.empty())
            return;
        const QString s = QString::fromStdString(label);
        const double w = fm.horizontalAdvance(s);
        const double asc = fm.ascent(), desc = fm.descent();
        const double xa = column(pk.apexTime);
        const double ya = signalRow(pk.apexTime);
        if (!std::isfinite(xa) || !std::isfinite(ya))
            return;
        if (scene.direction == 1) {
            const double centred = (asc - desc) / 2;
            if (ya - r.top >= w + 15) {
                p.drawLine(QPointF(xa, ya), QPointF(xa, ya - 10));
                p.setPen(Qt::black);
                drawUpwardText(p, QPointF(xa, ya - 15), centred, s);
            } else if (r.bottom - ya < w + 15) {
                p.setPen(Qt::black);
                drawUpwardText(p, QPointF(xa, ya + w / 2), centred, s);
            } else {
                p.drawLine(QPointF(xa, ya), QPointF(xa, r.top + 10));
                p.setPen(Qt::black);
                drawUpwardText(p, QPointF(xa, r.top + 2 + w), -2 - desc, s);
            }
        } else if (scene.markPeek == 1) {
            double baseline = ya - 12 - desc;
            if (baseline - asc >= r.top) {
                p.drawLine(QPointF(xa, ya), QPointF(xa, ya - 10));
            } else {
                p.drawLine(QPointF(xa, ya), QPointF(xa, ya + 10));
                baseline = ya + 12 + asc;
            }
            p.setPen(Qt::black);
            p.drawText(QPointF(xa - w / 2, baseline), s);
        } else {
            p.setPen(Qt::black);
            p.drawText(QPointF((xs + xe) / 2 - w / 2, r.top + 9 + asc), s);
        }
    };

    const QColor grey = rgb(kPeakRgb), red = rgb(kSelectedRgb);
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        if (static_cast<int>(k) != scene.selected)
            drawPeak(k, grey);
    }
    if (scene.selected >= 0 && static_cast<std::size_t>(scene.selected) < peaks.size())
        drawPeak(static_cast<std::size_t>(scene.selected), red);
    p.restore();
}

}  // namespace zelmora::gui
