#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cmath>

#include "reports/report_chrm.h"
#include "reports/report_pictures.h"
#include "reports/rtf_text_document.h"

namespace zelmora {
namespace {

// Two Gaussian peaks over a flat baseline of 1 mV, 20 points a second for 5 minutes.
Signal twoPeaks() {
    Signal s;
    s.dt = 1.0 / 1200;
    for (int i = 0; i < 6000; ++i) {
        const double t = i * s.dt;
        s.samples.push_back(static_cast<float>(1 + 50 * std::exp(-std::pow((t - 1.5) / 0.05, 2)) +
                                               20 * std::exp(-std::pow((t - 3.2) / 0.08, 2))));
    }
    return s;
}

// Pixels mostly of one colour (antialiased edges included).
int countPixels(const QImage& image, bool (*like)(QColor)) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += like(image.pixelColor(x, y));
    return n;
}

bool blue(QColor c) {
    return c.blue() > 150 && c.red() < 120 && c.green() < 120;
}
bool red(QColor c) {
    return c.red() > 150 && c.green() < 120 && c.blue() < 120;
}
bool white(QColor c) {
    return c == Qt::white;
}

TEST(ReportPictures, ChromatogramPictureAtTheChosenSize) {
    const Signal s = twoPeaks();
    PeakTable peaks;
    Peak a;
    a.apexTime = 1.5;
    a.startTime = 1.3;
    a.endTime = 1.7;
    a.baselineAtStart = a.baselineAtEnd = 10;  // drawn clear of the trace
    a.componentName = "Метан";
    peaks.peaks = {a};

    ChromatogramPictureOptions o;
    o.dotsPerInch = 100;
    const rtf::Picture small = chromatogramPicture(s, peaks, o);
    EXPECT_EQ(small.blip, "pngblip");
    // 8 by 6 cm: 315 by 236 pixels at 100 dots per inch, 4535 by 3402 twips.
    EXPECT_EQ(small.width, 315);
    EXPECT_EQ(small.height, 236);
    EXPECT_EQ(small.goalWidthTwips, 4535);
    EXPECT_EQ(small.goalHeightTwips, 3402);
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(small.data.data()),
                                          static_cast<int>(small.data.size()), "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(315, 236));
    // The trace is blue and the peak's baseline red; most of the picture is white.
    EXPECT_GT(countPixels(image, blue), 200);
    EXPECT_GT(countPixels(image, red), 10);
    EXPECT_GT(countPixels(image, white), image.width() * image.height() / 2);

    o.chartSize = 2;
    const rtf::Picture large = chromatogramPicture(s, peaks, o);
    EXPECT_EQ(large.goalWidthTwips, 10205);  // 18 cm
    EXPECT_EQ(large.width, 709);

    EXPECT_TRUE(chromatogramPicture(Signal{}, peaks, o).data.empty());
}

TEST(ReportPictures, CalibrationPictureOfTheTickedComponents) {
    // Two components calibrated on three levels each (amount 1, 2, 4 at
    // areas 10, 20, 40 and 5, 10, 20); only the first is ticked.
    Method m;
    m.calculation.response = 1;
    for (const char* name : {"Этан", "Пропан"}) {
        MethodComponent c;
        c.name = name;
        c.curveType = 0;
        c.k1 = name == std::string("Этан") ? 0.1 : 0.2;
        for (double amount : {1.0, 2.0, 4.0}) {
            CalibrationPoint p;
            p.amount = amount;
            p.area = amount / c.k1;
            p.height = p.area / 10;
            c.points.push_back(p);
        }
        m.calculation.components.push_back(c);
    }
    ReportSettings r;
    r.calibration = true;
    r.chartSize = 1;
    EXPECT_TRUE(calibrationPicture(m, r, 100).data.empty());  // nothing ticked
    r.calibrationComponents = {{"Этан", true}, {"Пропан", false}};
    const rtf::Picture one = calibrationPicture(m, r, 100);
    ASSERT_FALSE(one.data.empty());
    EXPECT_EQ(one.goalWidthTwips, 12000 * 1440 / 2540);
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(one.data.data()),
                                   static_cast<int>(one.data.size())));
    EXPECT_EQ(image.width(), static_cast<int>(std::lround(120 / 25.4 * 100)));
    EXPECT_GT(countPixels(image, blue), 50);  // the first curve and its levels
    EXPECT_LT(countPixels(image, red), 5);    // the second is not drawn
    r.calibrationComponents[1].second = true;
    const rtf::Picture two = calibrationPicture(m, r, 100);
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(two.data.data()),
                                   static_cast<int>(two.data.size())));
    EXPECT_GT(countPixels(image, red), 50);
    // A component without levels has nothing to draw.
    for (MethodComponent& c : m.calculation.components)
        c.points.clear();
    EXPECT_TRUE(calibrationPicture(m, r, 100).data.empty());
}

TEST(ReportPictures, AFilledReportWithItsPictureBecomesAPdf) {
    const Signal s = twoPeaks();
    PeakTable peaks;
    Passport passport(0);
    CPreview view;
    ASSERT_TRUE(
        view.loadTemplate(std::string(ZELMORA_TEST_DATA) + "/../../share/Templates/report.rpt")
            .ok());
    const rtf::Picture picture = chromatogramPicture(s, peaks, {});
    ChromatogramReportInput in;
    in.passport = &passport;
    in.peaks = &peaks;
    in.chromatogramPicture = &picture;
    CReportChrm::fill(view, in);
    int pictures = 0;
    for (const rtf::Element& e : view.document().elements)
        pictures += e.kind == rtf::ElementKind::Picture;
    EXPECT_EQ(pictures, 1);
    QTemporaryDir dir;
    EXPECT_TRUE(rtf::writePdf(view.document(), dir.filePath(QStringLiteral("r.pdf"))).ok());
}

}  // namespace
}  // namespace zelmora
