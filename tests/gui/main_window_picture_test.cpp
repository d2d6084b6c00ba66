// A picture of the main window with a processed demo chromatogram, drawn on
// the offscreen platform into main_window_demo.png next to the test (an
// artefact for people to look at), with the checks that the chromatogram
// window really drew its trace.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "gui/document/child_frame.h"
#include "gui/document/zelmora_view.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"
#include "method/document_method.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_integration.h"

namespace fs = std::filesystem;

class MainWindowPictureTest : public QObject {
    Q_OBJECT
  private slots:
    void processedDemoChromatogram() {
        QVERIFY(zelmora::guitest::startWithDemoMethod());
        QTemporaryDir dir;
        const fs::path file = fs::path(dir.path().toStdString()) / "demo.stg";
        QVERIFY(zelmora::guitest::writeChromatogram(file, "Демо"));

        zelmora::gui::CMainFrame frame;
        frame.resize(1280, 800);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        zelmora::gui::CChildFrame* child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        zelmora::CZelmoraDoc& doc = child->document();
        QVERIFY(doc.hasMethod);
        const zelmora::ProcessingOutcome outcome = zelmora::ProcessChromatogram(doc);
        QVERIFY(outcome.quantitated);
        doc.changed(zelmora::CZelmoraDoc::Change::Any);
        QCOMPARE(doc.peakCount(), zelmora::kDemoComponentCount);
        child->showMaximized();
        QVERIFY(child->view() != nullptr);
        child->view()->setSelectedPeak(1);
        QTest::qWait(50);
        QCoreApplication::processEvents();

        const QImage picture = frame.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/main_window_demo.png")));

        // The view drew a blue trace, red for the selected peak, and sent its
        // spans to the status bar.
        const QImage view = child->view()->grab().toImage();
        int blue = 0, red = 0;
        for (int y = 0; y < view.height(); ++y) {
            for (int x = 0; x < view.width(); ++x) {
                const QColor c = view.pixelColor(x, y);
                blue += c.blue() > 200 && c.red() < 80 && c.green() < 80;
                red += c.red() > 200 && c.blue() < 80 && c.green() < 80;
            }
        }
        QVERIFY2(blue > 200, qPrintable(QString::number(blue)));
        QVERIFY2(red > 10, qPrintable(QString::number(red)));
        QVERIFY(frame.spanPane()->text().contains(QStringLiteral("мин]")));
        doc.setModified(false);
    }
};

QTEST_MAIN(MainWindowPictureTest)
#include "main_window_picture_test.moc"
