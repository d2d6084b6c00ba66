#include "reports/report_pictures.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "chart/chart_axes.h"
#include "chart/chart_series.h"
#include "chart/qt_chart_painter.h"
#include "processing/calibration.h"

namespace zelmora {

PictureSizeMm100 reportPictureSize(int chartSize) {
    switch (chartSize) {
        case 1:
            return {12000, 9000};
        case 2:
            return {18000, 13500};
        default:
            return {8000, 6000};
    }
}

namespace {

// The image as a PNG shown at the report page's picture size.
rtf::Picture pngPicture(const QImage& image, PictureSizeMm100 size) {
    rtf::Picture picture;
    QByteArray png;
    QBuffer buffer(&png);
    // A light compression: the picture is a few lines on white and a
    // report is made while the operator waits.
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG", 80))
        return picture;
    picture.blip = "pngblip";
    picture.data = png.toStdString();
    picture.width = image.width();
    picture.height = image.height();
    // Hundredths of a millimetre to twips: 1440 / 2540.
    picture.goalWidthTwips = static_cast<int>(std::lround(size.width * 1440.0 / 2540));
    picture.goalHeightTwips = static_cast<int>(std::lround(size.height * 1440.0 / 2540));
    return picture;
}

}  // namespace

rtf::Picture calibrationPicture(const Method& method, const ReportSettings& report,
                                double dotsPerInch) {
    const CalculationSettings& calc = method.calculation;
    struct Curve {
        std::string name;
        std::vector<std::pair<double, double>> line, levels;
    };
    std::vector<Curve> curves;
    double xMax = 0, yMin = 0, yMax = 0;
    for (const MethodComponent& c : calc.components) {
        bool ticked = false;
        for (const auto& [name, on] : report.calibrationComponents)
            ticked = ticked || (on && name == c.name);
        if (!ticked)
            continue;
        Curve curve{c.name, calibrationCurveSamples(calc, c), {}};
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            const double x = LevelResponse(c.points[i], calc.response);
            if (x > 0 && std::isfinite(x))
                curve.levels.emplace_back(x, c.points[i].amount);
        }
        if (curve.line.empty() && curve.levels.empty())
            continue;
        for (const auto& [x, y] : curve.line)
            if (std::isfinite(x) && std::isfinite(y)) {
                xMax = std::max(xMax, x);
                yMin = std::min(yMin, y);
                yMax = std::max(yMax, y);
            }
        for (const auto& [x, y] : curve.levels) {
            xMax = std::max(xMax, x);
            yMin = std::min(yMin, y);
            yMax = std::max(yMax, y);
        }
        curves.push_back(std::move(curve));
    }
    if (curves.empty() || xMax <= 0)
        return {};
    if (yMax <= yMin)
        yMax = yMin + 1;

    const PictureSizeMm100 size = reportPictureSize(report.chartSize);
    const double dpi = std::clamp(dotsPerInch, 50.0, 600.0);
    const int w = static_cast<int>(std::lround(size.width / 2540.0 * dpi));
    const int h = static_cast<int>(std::lround(size.height / 2540.0 * dpi));
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(8);
        chart::QtChartPainter cp(p, font);
        const QFontMetricsF fm(font, &image);
        chart::ChartAxes axes;
        axes.font = "Arial";
        axes.fullFrame = true;
        axes.x = {0, xMax * 1.05, false, false};
        const double pad = (yMax - yMin) * 0.05;
        axes.y = {yMin - pad, yMax + pad, false, false};
        const double left = fm.height() * 2 + fm.horizontalAdvance(QStringLiteral("-0000.000")) + 6;
        axes.plot = {left, fm.height(), w - fm.averageCharWidth() * 3, h - fm.height() * 3 - 6};
        axes.prepare(cp);
        axes.drawFrame(cp);

        // One colour per component, the name at the end of its curve.
        static const chart::Color kColours[] = {{0, 0, 255},   {200, 0, 0},   {0, 140, 0},
                                                {160, 0, 160}, {0, 140, 160}, {160, 110, 0}};
        p.save();
        p.setClipRect(QRectF(axes.plot.left, axes.plot.top, axes.plot.width(), axes.plot.height()));
        for (std::size_t k = 0; k < curves.size(); ++k) {
            const chart::Color colour = kColours[k % std::size(kColours)];
            cp.setPen(colour, std::max(1.0, dpi / 150));
            std::vector<chart::PointF> line;
            for (const auto& [x, y] : curves[k].line)
                if (std::isfinite(x) && std::isfinite(y))
                    line.push_back(axes.map({x, y}));
            if (line.size() >= 2)
                cp.polyline(line);
            const double r = std::max(2.0, dpi / 50);
            p.setBrush(QColor(colour.r, colour.g, colour.b));
            for (const auto& [x, y] : curves[k].levels) {
                const chart::PointF at = axes.map({x, y});
                p.drawRect(QRectF(at.x - r, at.y - r, 2 * r, 2 * r));
            }
            p.setPen(QColor(colour.r, colour.g, colour.b));
            const QString name = QString::fromStdString(curves[k].name);
            p.drawText(QPointF(axes.plot.left + fm.averageCharWidth(),
                               axes.plot.top + fm.height() * static_cast<double>(k + 1)),
                       name);
        }
        p.restore();

        p.setPen(Qt::black);
        const QString yTitle = QStringLiteral("Количество");
        p.save();
        p.translate(fm.ascent() + 2,
                    (axes.plot.top + axes.plot.bottom) / 2 + fm.horizontalAdvance(yTitle) / 2);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), yTitle);
        p.restore();
        const QString xTitle = QStringLiteral("Отклик детектора");
        p.drawText(QPointF((axes.plot.left + axes.plot.right - fm.horizontalAdvance(xTitle)) / 2,
                           h - fm.descent() - 2),
                   xTitle);
    }
    return pngPicture(image, size);
}

rtf::Picture chromatogramPicture(const Signal& signal, const PeakTable& peaks,
                                 const ChromatogramPictureOptions& options) {
    rtf::Picture picture;
    const std::size_t n = signal.size();
    if (n < 2)
        return picture;
    const PictureSizeMm100 size = reportPictureSize(options.chartSize);
    const double dpi = std::clamp(options.dotsPerInch, 50.0, 600.0);
    const int w = static_cast<int>(std::lround(size.width / 2540.0 * dpi));
    const int h = static_cast<int>(std::lround(size.height / 2540.0 * dpi));
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return picture;
    image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(8);
        chart::QtChartPainter cp(p, font);
        const QFontMetricsF fm(font, &image);

        float lo = signal.samples[0], hi = lo;
        for (float v : signal.samples) {
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        const double t0 = signal.timeAt(0), t1 = signal.timeAt(static_cast<double>(n - 1));
        chart::ChartAxes axes;
        axes.font = "Arial";
        axes.fullFrame = true;
        axes.x = {t0, t1, false, false};
        // Headroom above the highest peak for the upright peak labels.
        const double pad = (hi - lo) * 0.05;
        axes.y = {
            lo - pad,
            hi + pad * (options.labelName || options.labelNumber || options.labelTime ? 6 : 1),
            false, false};
        // Room on the left for the labels and the upright title, below for the
        // time labels and title.
        const double left = fm.height() * 2 + fm.horizontalAdvance(QStringLiteral("-0000.000")) + 6;
        axes.plot = {left, fm.height(), w - fm.averageCharWidth() * 3, h - fm.height() * 3 - 6};
        axes.prepare(cp);
        axes.drawFrame(cp);

        // The trace, reduced to the columns of the picture.
        const double pxPerMin = axes.plot.width() / std::max(t1 - t0, 1e-12);
        std::vector<chart::PointF> curve = chart::decimateMinMax(n, [&](std::size_t i) {
            return chart::PointF{axes.plot.left + (signal.timeAt(double(i)) - t0) * pxPerMin,
                                 axes.mapY(signal.samples[i])};
        });
        cp.setPen({0, 0, 255}, std::max(1.0, dpi / 150));
        p.save();
        p.setClipRect(QRectF(axes.plot.left, axes.plot.top, axes.plot.width(), axes.plot.height()));
        // A hairline (a cosmetic pen one pixel wide, 0.13 mm at 200 dpi): the
        // rasteriser draws it line by line, where a wider pen over thousands
        // of up-and-down points becomes one self-crossing outline that takes
        // seconds to fill.
        QPen tracePen = p.pen();
        tracePen.setWidthF(1);
        tracePen.setCosmetic(true);
        p.setPen(tracePen);
        cp.polyline(curve);

        // Each peak's baseline and its label above the apex.
        cp.setPen({255, 0, 0}, std::max(1.0, dpi / 200));
        int number = 0;
        for (const Peak& peak : peaks.peaks) {
            ++number;
            cp.line(axes.map({peak.startTime, peak.baselineAtStart}),
                    axes.map({peak.endTime, peak.baselineAtEnd}));
            std::string label;
            const auto add = [&label](const std::string& s) {
                if (!label.empty())
                    label += "  ";
                label += s;
            };
            if (options.labelNumber)
                add(text::format("%d", number));
            if (options.labelTime)
                add(text::format("%.3f", peak.apexTime));
            if (options.labelName && !peak.componentName.empty())
                add(peak.componentName);
            if (label.empty())
                continue;
            const double pos = (peak.apexTime - signal.t0) / (signal.dt != 0 ? signal.dt : 1);
            const std::size_t i =
                static_cast<std::size_t>(std::clamp(std::lround(pos), 0L, long(n - 1)));
            const chart::PointF apex = axes.map({peak.apexTime, signal.samples[i]});
            p.save();
            p.setPen(Qt::black);
            p.translate(apex.x + fm.ascent() / 3, apex.y - 4);
            p.rotate(-90);
            p.drawText(QPointF(0, 0), QString::fromStdString(label));
            p.restore();
        }
        p.restore();

        p.setPen(Qt::black);
        const QString yTitle = QStringLiteral("Отклик детектора, мВ");
        p.save();
        p.translate(fm.ascent() + 2,
                    (axes.plot.top + axes.plot.bottom) / 2 + fm.horizontalAdvance(yTitle) / 2);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), yTitle);
        p.restore();
        const QString xTitle = QStringLiteral("Время, мин");
        p.drawText(QPointF((axes.plot.left + axes.plot.right - fm.horizontalAdvance(xTitle)) / 2,
                           h - fm.descent() - 2),
                   xTitle);
    }
    return pngPicture(image, size);
}

}  // namespace zelmora
