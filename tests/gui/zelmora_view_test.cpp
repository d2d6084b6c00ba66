// The chromatogram view driven as an operator drives it: clicks and drags on
// a shown view of a fixed size over a synthetic chromatogram whose peaks are
// known, the keys and the wheel, the clipboard text, and the picture itself.

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>
#include <limits>
#include <vector>

#include "app/program_settings.h"
#include "document/zelmora_doc.h"
#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/document/view_clipboard.h"
#include "gui/document/view_drawing.h"
#include "gui/document/zelmora_view.h"
#include "processing/chromatogram_commands.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"

using namespace zelmora;
using zelmora::gui::CZelmoraView;
namespace cmd = zelmora::gui::command;

namespace {

void setDisplay(int markPeek, int direction, bool number, bool time, bool name,
                bool windows = false) {
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.markPeek = markPeek;
        o.direction = direction;
        o.nameNumber = number;
        o.nameTime = time;
        o.nameName = name;
        o.peekWindow = windows;
        o.numZnakovC = 3;
        o.numZnakovH = 3;
        o.numZnakovS = 3;
        o.floatType = 0;
    });
}

// Six minutes at 1000 samples a minute on a level of 1 mV, and five peaks:
// 0 [0.9, 1.1], 1 [1.9, 2.1], an unresolved group 2 [2.9, 3.06] + 3 [3.06,
// 3.22], and 4 [4.4, 4.6].
struct Chromatogram {
    CZelmoraDoc doc;
    SilentMessageSink sink;
    CommandPrompts prompts;
    ChromatogramCommands commands{doc, sink, prompts, [] { return programOptions(); }};

    Chromatogram() {
        SyntheticChromatogram spec;
        spec.samples = 6001;
        spec.dt = 0.001;
        spec.level = 1;
        spec.peaks = {{1.0, 100, 0.02},
                      {2.0, 80, 0.02},
                      {3.0, 60, 0.015},
                      {3.12, 50, 0.015},
                      {4.5, 120, 0.02}};
        doc.signal = makeSyntheticSignal(spec);
        doc.peaks.attach(&doc.signal);
        AddPeak(doc.peaks, 0.9, 1.1, true, 0);
        AddPeak(doc.peaks, 1.9, 2.1, true, 0);
        AddPeak(doc.peaks, 2.9, 3.06, true, 0);
        AddAdjacentPeak(doc.peaks, 2, 3.22, kAdjacentRight);
        AddPeak(doc.peaks, 4.4, 4.6, true, 0);
        const char* names[] = {"Метан", "Этан", "Пропан", "и-Бутан", "2.2-Диметилбутан"};
        for (std::size_t k = 0; k < doc.peaks.size(); ++k)
            doc.peaks.peaks[k].componentName = names[k];
    }
};

struct ShownView {
    CZelmoraView view;
    explicit ShownView(Chromatogram& c) : view(c.doc, c.commands) {
        view.resize(800, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    QPoint at(double t) const {
        return QPoint(qRound(view.xOfTime(t)), view.plotRect().center().y());
    }
    QPoint at(double t, double v) const {
        return QPoint(qRound(view.xOfTime(t)), qRound(view.yOfValue(v)));
    }
    double pixelMinutes() const { return view.timeOfX(1) - view.timeOfX(0); }
};

std::vector<std::pair<double, double>> bounds(const CZelmoraDoc& doc) {
    std::vector<std::pair<double, double>> out;
    for (const Peak& p : doc.peaks.peaks)
        out.emplace_back(p.startTime, p.endTime);
    return out;
}

// The view's commands as its window asks them: through the command table.
bool enabled(CZelmoraView& view, int id) {
    return zelmora::gui::isCommandEnabled(*zelmora::gui::findCommand(id), {.view = &view});
}
bool checked(CZelmoraView& view, int id) {
    return zelmora::gui::isCommandChecked(*zelmora::gui::findCommand(id), {.view = &view});
}
bool run(CZelmoraView& view, int id) {
    return zelmora::gui::runCommand(*zelmora::gui::findCommand(id), {.view = &view});
}

void wheel(QWidget& w, QPoint pos, int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(pos), QPointF(w.mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &e);
}

bool isColour(QRgb px, int r, int g, int b) {
    return qRed(px) == r && qGreen(px) == g && qBlue(px) == b;
}

// True when a pixel of the colour lies within one pixel of (x, y).
bool colourNear(const QImage& img, int x, int y, int r, int g, int b) {
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            const int px = x + dx, py = y + dy;
            if (img.valid(px, py) && isColour(img.pixel(px, py), r, g, b))
                return true;
        }
    }
    return false;
}

}  // namespace

class ZelmoraViewTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { setDisplay(0, 1, false, false, true); }

    void firstDisplaySelectsAndConsumesTheReportRequest() {
        Chromatogram c;
        Method m;
        m.capture.fixedBounds = true;
        m.capture.displayMinimum = -5;
        m.capture.displayMaximum = 50;
        m.report.autoExport = true;
        c.doc.reloadMethod(methodCopyOf(m));
        c.doc.reportState = 3;
        CZelmoraView view(c.doc, c.commands);
        QSignalSpy reports(&view, &CZelmoraView::reportRequested);
        QSignalSpy exports(&view, &CZelmoraView::autoExportRequested);
        QCOMPARE(view.selectedPeak(), -1);
        view.resize(800, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        QCOMPARE(view.selectedPeak(), 0);
        QCOMPARE(view.visibleSignalFrom(), -5.0);
        QCOMPARE(view.visibleSignalTo(), 50.0);
        QCOMPARE(reports.count(), 1);
        QCOMPARE(reports.at(0).at(0).toInt(), 3);
        QCOMPARE(exports.count(), 1);
        QCOMPARE(c.doc.reportState, 0);
        // Only the first display does this.
        view.hide();
        view.show();
        QCoreApplication::processEvents();
        QCOMPARE(reports.count(), 1);
        QCOMPARE(exports.count(), 1);
    }

    void addPeakWithTwoClicks() {
        Chromatogram c;
        ShownView v(c);
        QVERIFY(enabled(v.view, cmd::kAddPeak));
        QTest::keyClick(&v.view, Qt::Key_Insert);
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::AddPeak);
        QVERIFY(checked(v.view, cmd::kAddPeak));
        QVERIFY(!enabled(v.view, cmd::kAddPeak));
        QVERIFY(!enabled(v.view, cmd::kCropInterval));
        // Esc leaves the tool without an edit.
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(5.2));
        QTest::keyClick(&v.view, Qt::Key_Escape);
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::None);
        QCOMPARE(c.doc.peakCount(), std::size_t{5});

        QVERIFY(run(v.view, cmd::kAddPeak));
        QTest::mouseMove(&v.view, v.at(5.0));
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(5.2));
        QCOMPARE(c.doc.peakCount(), std::size_t{5});
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(5.5));
        QCOMPARE(c.doc.peakCount(), std::size_t{6});
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::None);
        const Peak& added = c.doc.peaks.peaks.back();
        QVERIFY(std::fabs(added.startTime - 5.2) <= v.pixelMinutes());
        QVERIFY(std::fabs(added.endTime - 5.5) <= v.pixelMinutes());
        QVERIFY(c.doc.isModified());

        // A click outside the plot is ignored by the tool.
        run(v.view, cmd::kAddPeak);
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, QPoint(v.view.width() - 2, 2));
        QCOMPARE(c.doc.peakCount(), std::size_t{6});
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::AddPeak);
    }

    void dragBoundaryGrips() {
        setDisplay(0, 1, false, false, true);
        Chromatogram c;
        ShownView v(c);
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(4.5));
        QCOMPARE(v.view.selectedPeak(), 4);
        QTest::mouseMove(&v.view, v.at(4.4));
        QCOMPARE(v.view.cursor().shape(), Qt::SizeHorCursor);
        QTest::mousePress(&v.view, Qt::LeftButton, {}, v.at(4.4));
        QVERIFY(!enabled(v.view, cmd::kAddPeak));  // a drag is active
        QTest::mouseMove(&v.view, v.at(4.35));
        QTest::mouseRelease(&v.view, Qt::LeftButton, {}, v.at(4.35));
        const Peak& p = c.doc.peaks.peaks[4];
        QVERIFY(std::fabs(p.startTime - 4.35) <= v.pixelMinutes());
        QCOMPARE(p.endTime, 4.6);
        QVERIFY(enabled(v.view, cmd::kAddPeak));

        // The end grip.
        QTest::mousePress(&v.view, Qt::LeftButton, {}, v.at(4.6));
        QTest::mouseMove(&v.view, v.at(4.75));
        QTest::mouseRelease(&v.view, Qt::LeftButton, {}, v.at(4.75));
        QVERIFY(std::fabs(c.doc.peaks.peaks[4].endTime - 4.75) <= v.pixelMinutes());
        QCOMPARE(v.view.selectedPeak(), 4);

        // An end dragged before the start fails: beep, table as it was.
        QSignalSpy failed(&v.view, &CZelmoraView::editFailed);
        const auto before = bounds(c.doc);
        QTest::mousePress(&v.view, Qt::LeftButton, {}, v.at(c.doc.peaks.peaks[4].endTime));
        QTest::mouseMove(&v.view, v.at(4.2));
        QTest::mouseRelease(&v.view, Qt::LeftButton, {}, v.at(4.2));
        QCOMPARE(failed.count(), 1);
        QVERIFY(bounds(c.doc) == before);

        // With segments as marks the grip needs the mouse near the mark.
        setDisplay(1, 1, false, false, true);
        v.view.update();
        QTest::qWait(1);
        QTest::mouseMove(&v.view, v.at(c.doc.peaks.peaks[4].startTime, 100));
        QCOMPARE(v.view.cursor().shape(), Qt::ArrowCursor);
        QTest::mouseMove(
            &v.view, v.at(c.doc.peaks.peaks[4].startTime, c.doc.peaks.peaks[4].baselineAtStart));
        QCOMPARE(v.view.cursor().shape(), Qt::SizeHorCursor);
        setDisplay(0, 1, false, false, true);
    }

    void cropWithTheCropTool() {
        Chromatogram c;
        ShownView v(c);
        QVERIFY(run(v.view, cmd::kCropInterval));
        QVERIFY(checked(v.view, cmd::kCropInterval));
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(4.0));
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(1.5));
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::None);
        // Peaks 0 and 4 lay outside [1.5, 4.0]; the others moved by -1.5.
        QCOMPARE(c.doc.peakCount(), std::size_t{3});
        const double tol = 2 * v.pixelMinutes();
        QVERIFY(std::fabs(c.doc.peaks.peaks[0].startTime - 0.4) <= tol);
        QVERIFY(std::fabs(static_cast<double>(c.doc.sampleCount()) - 2500) <= tol / 0.001);
        // The view shows the whole of what is left.
        QCOMPARE(v.view.visibleTimeFrom(), 0.0);
        QCOMPARE(v.view.visibleTimeTo(), c.doc.signal.timeAt(c.doc.sampleCount() - 1.0));
        QVERIFY(!enabled(v.view, cmd::kShowAll));
        QVERIFY(c.doc.peak(v.view.selectedPeak()) != nullptr);
    }

    void unresolvedPeakOnTheWrongSideFails() {
        Chromatogram c;
        ShownView v(c);
        QSignalSpy failed(&v.view, &CZelmoraView::editFailed);
        // Peak 2 opens the group: a neighbour may go on its left only.
        v.view.setSelectedPeak(2);
        QVERIFY(enabled(v.view, cmd::kUnresolvedLeft));
        QVERIFY(!enabled(v.view, cmd::kUnresolvedRight));
        v.view.setSelectedPeak(3);
        QVERIFY(!enabled(v.view, cmd::kUnresolvedLeft));
        QVERIFY(enabled(v.view, cmd::kUnresolvedRight));
        QVERIFY(run(v.view, cmd::kUnresolvedRight));
        QVERIFY(checked(v.view, cmd::kUnresolvedRight));
        QVERIFY(!checked(v.view, cmd::kUnresolvedLeft));

        const auto before = bounds(c.doc);
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(3.1));  // inside the peak
        QCOMPARE(failed.count(), 1);
        QVERIFY(bounds(c.doc) == before);
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::Unresolved);
        QCOMPARE(v.view.selectedPeak(), 3);

        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(3.35));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(c.doc.peakCount(), std::size_t{6});
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::None);
        const Peak& added = c.doc.peaks.peaks[4];
        QCOMPARE(added.startTime, 3.22);
        QVERIFY(std::fabs(added.endTime - 3.35) <= v.pixelMinutes());
        QCOMPARE(added.prevInGroup, 3);
    }

    void clicksCycleThroughOverlappingPeaks() {
        Chromatogram c;
        // A rider on the tail of peak 0.
        AddPeak(c.doc.peaks, 1.03, 1.1, true, 0);
        QCOMPARE(c.doc.peaks.peaks[1].startTime, 1.03);
        ShownView v(c);
        QSignalSpy selections(&v.view, &CZelmoraView::selectionChanged);
        std::vector<int> picked;
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(1.06));
            picked.push_back(v.view.selectedPeak());
        }
        QCOMPARE(picked, (std::vector<int>{0, 1, 0, 1}));
        QVERIFY(selections.count() >= 4);
        QCOMPARE(selections.last().at(0).toInt(), 1);
        // Nothing there: no selection; the commands that need one are off.
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(5.8));
        QCOMPARE(v.view.selectedPeak(), -1);
        QCOMPARE(selections.last().at(0).toInt(), -1);
        QVERIFY(!enabled(v.view, cmd::kDeletePeak));
        QVERIFY(!enabled(v.view, cmd::kInvertPeak));
        QVERIFY(!enabled(v.view, cmd::kUnresolvedLeft));
        // Outside the trace's time range a click selects nothing new.
        v.view.setSelectedPeak(2);
        v.view.setVisibleRange(-1, 7, v.view.visibleSignalFrom(), v.view.visibleSignalTo());
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(-0.5));
        QCOMPARE(v.view.selectedPeak(), 2);
        // Del removes the selected peak and selects the first one left.
        QTest::keyClick(&v.view, Qt::Key_Delete);
        QCOMPARE(c.doc.peakCount(), std::size_t{5});
        QCOMPARE(v.view.selectedPeak(), 0);
    }

    void keysAndWheelZoom() {
        Chromatogram c;
        ShownView v(c);
        CZelmoraView& w = v.view;
        const double t0 = w.visibleTimeFrom(), t1 = w.visibleTimeTo();
        const double y0 = w.visibleSignalFrom(), y1 = w.visibleSignalTo();
        QCOMPARE(t0, 0.0);
        QCOMPARE(t1, 6.0);
        QVERIFY(!enabled(w, cmd::kShowAll));
        QVERIFY(!enabled(w, cmd::kAllByTime));
        QVERIFY(!enabled(w, cmd::kAllByHeight));
        // Full ranges do not scroll.
        QTest::keyClick(&w, Qt::Key_Up);
        QCOMPARE(w.visibleSignalTo(), y1);
        QTest::keyClick(&w, Qt::Key_Right);
        QCOMPARE(w.visibleTimeFrom(), t0);

        QTest::keyClick(&w, Qt::Key_Right, Qt::ShiftModifier);  // narrower by a quarter each side
        QCOMPARE(w.visibleTimeFrom(), 1.5);
        QCOMPARE(w.visibleTimeTo(), 4.5);
        QVERIFY(enabled(w, cmd::kAllByTime));
        QVERIFY(!enabled(w, cmd::kAllByHeight));
        QTest::keyClick(&w, Qt::Key_Right);  // one line: a tenth of the span
        QVERIFY(std::fabs(w.visibleTimeFrom() - 1.8) < 1e-12);
        QTest::keyClick(&w, Qt::Key_Left);
        QTest::keyClick(&w, Qt::Key_Left);
        QVERIFY(std::fabs(w.visibleTimeFrom() - 1.2) < 1e-12);
        QTest::keyClick(&w, Qt::Key_Left, Qt::ShiftModifier);  // wider by a quarter each side
        QVERIFY(std::fabs(w.visibleTimeFrom() - 0.45) < 1e-12);
        QVERIFY(std::fabs(w.visibleTimeTo() - 4.95) < 1e-12);

        QTest::keyClick(&w, Qt::Key_Up, Qt::ShiftModifier);  // y1 down by half the span
        QCOMPARE(w.visibleSignalFrom(), y0);
        QVERIFY(std::fabs(w.visibleSignalTo() - (y1 - (y1 - y0) / 2)) < 1e-9);
        const double span = w.visibleSignalTo() - y0;
        QTest::keyClick(&w, Qt::Key_Down);
        QVERIFY(std::fabs(w.visibleSignalFrom() - (y0 - span / 10)) < 1e-9);
        QTest::keyClick(&w, Qt::Key_Up);
        QVERIFY(std::fabs(w.visibleSignalFrom() - y0) < 1e-9);
        QTest::keyClick(&w, Qt::Key_Down, Qt::ShiftModifier);
        QVERIFY(std::fabs(w.visibleSignalTo() - (y0 + 1.5 * span)) < 1e-9);

        QVERIFY(run(w, cmd::kShowAll));
        QCOMPARE(w.visibleTimeFrom(), t0);
        QCOMPARE(w.visibleSignalTo(), y1);
        QVERIFY(!enabled(w, cmd::kShowAll));

        const QPoint mid = w.plotRect().center();
        wheel(w, mid, 120, Qt::ControlModifier);  // forward: closer in both axes
        QCOMPARE(w.visibleTimeFrom(), 1.5);
        QCOMPARE(w.visibleTimeTo(), 4.5);
        QVERIFY(std::fabs(w.visibleSignalTo() - (y1 - (y1 - y0) / 2)) < 1e-9);
        wheel(w, mid, 120, Qt::ShiftModifier);  // forward: earlier times
        QVERIFY(std::fabs(w.visibleTimeFrom() - 1.2) < 1e-12);
        const double top = w.visibleSignalTo();
        wheel(w, mid, -120, Qt::NoModifier);  // backward: the signal axis down a line
        QVERIFY(std::fabs(w.visibleSignalTo() - (top - (top - y0) / 10)) < 1e-9);
        wheel(w, mid, 60, Qt::NoModifier);  // half a notch does nothing yet
        QVERIFY(std::fabs(w.visibleSignalTo() - (top - (top - y0) / 10)) < 1e-9);
        QVERIFY(run(w, cmd::kAllByHeight));
        QCOMPARE(w.visibleSignalTo(), y1);
        QVERIFY(run(w, cmd::kAllByTime));
        QVERIFY(!enabled(w, cmd::kShowAll));

        // A frame drawn with the right button zooms into it; a right click
        // goes back.
        const double ta = 2.0, tb = 3.0;
        const QPoint a = v.at(ta, 80), b = v.at(tb, 10);
        QTest::mousePress(&w, Qt::RightButton, {}, a);
        QTest::mouseMove(&w, (a + b) / 2);
        QTest::mouseMove(&w, b);
        QTest::mouseRelease(&w, Qt::RightButton, {}, b);
        QVERIFY(std::fabs(w.visibleTimeFrom() - ta) <= 0.01);
        QVERIFY(std::fabs(w.visibleTimeTo() - tb) <= 0.01);
        QVERIFY(std::fabs(w.visibleSignalTo() - 80) <= 1);
        QVERIFY(std::fabs(w.visibleSignalFrom() - 10) <= 1);
        QTest::mouseClick(&w, Qt::RightButton, {}, w.plotRect().center());
        QCOMPARE(w.visibleTimeFrom(), t0);
        QCOMPARE(w.visibleSignalTo(), y1);
    }

    void statusTexts() {
        Chromatogram c;
        ShownView v(c);
        QSignalSpy cursor(&v.view, &CZelmoraView::cursorTextChanged);
        QSignalSpy spans(&v.view, &CZelmoraView::spanTextChanged);
        QTest::mouseMove(&v.view, v.at(2.5, 40));
        QVERIFY(!cursor.isEmpty());
        const QString text = cursor.last().at(0).toString();
        QVERIFY2(text.endsWith(QStringLiteral(" мВ; 2.50 мин")) ||
                     text.endsWith(QStringLiteral(" мВ; 2.49 мин")) ||
                     text.endsWith(QStringLiteral(" мВ; 2.51 мин")),
                 qPrintable(text));
        QVERIFY(text.startsWith(QStringLiteral("40.")) || text.startsWith(QStringLiteral("39.")));
        QTest::mouseMove(&v.view, QPoint(1, 1));
        QCOMPARE(cursor.last().at(0).toString(), QString());
        v.view.setVisibleRange(1, 3, 0, 50);
        QTest::qWait(20);
        QVERIFY(!spans.isEmpty());
        QCOMPARE(spans.last().at(0).toString(), QStringLiteral("[50.00000 мВ 2.00 мин]"));
    }

    void clipboardTextHasCommasOnlyInNumbers() {
        ProgramOptions o;
        o.numZnakovC = 3;
        o.numZnakovH = 2;
        o.numZnakovS = 4;
        o.floatType = 0;
        PeakTable t;
        Peak a;
        a.apexTime = 1.2344;
        a.height = 10.5;
        a.area = 3.25;
        a.concentration = 0.125;
        a.componentName = "2.2-Диметилбутан";
        Peak b;
        b.apexTime = 12;
        b.height = 1234.567;
        b.area = 0.00004;  // small enough for the exponent form
        b.concentration = 0;
        b.componentName = "";
        t.peaks = {a, b};
        const std::string text = gui::peakTableClipboardText(t, o);
        QCOMPARE(QString::fromStdString(text),
                 QStringLiteral("1,234\t10,50\t3,2500\t0,125\t\"2.2-Диметилбутан\"\r\n"
                                "12,000\t1234,57\t4,0000e-05\t0,000\t\"\"\r\n"));
        // A name with a line break keeps the row together.
        t.peaks[0].componentName = "a\tb\r\nc";
        QVERIFY(gui::peakTableClipboardText(t, o).starts_with(
            "1,234\t10,50\t3,2500\t0,125\t\"a b  c\"\r\n"));
        QCOMPARE(gui::peakTableClipboardText(PeakTable{}, o), std::string());

        // Ctrl+C puts the same text on the clipboard as Unicode text.
        Chromatogram c;
        ShownView v(c);
        QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied, QString::fromStdString(
                             gui::peakTableClipboardText(c.doc.peaks, programOptions())));
        QVERIFY(copied.contains(QStringLiteral("\"2.2-Диметилбутан\"\r\n")));
        QVERIFY(copied.startsWith(QStringLiteral("1,000\t")));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&v.view, Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        QCOMPARE(v.view.tool(), CZelmoraView::Tool::None);  // Ctrl+Ins is no Ins
    }

    void picture() {
        setDisplay(0, 1, true, true, true);
        Chromatogram c;
        ShownView v(c);
        v.view.setSelectedPeak(1);
        const QImage img = v.view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(img.save(QDir::current().filePath(QStringLiteral("zelmora_view.png"))));
        qInfo("picture: %s",
              qPrintable(QDir::current().filePath(QStringLiteral("zelmora_view.png"))));
        const QRect plot = v.view.plotRect();
        const int midY = plot.center().y();
        // The selected peak's boundary lines are red over the whole height,
        // the others grey; the curve is blue at an apex.
        QVERIFY(colourNear(img, qRound(v.view.xOfTime(1.9)), midY, 255, 0, 0));
        QVERIFY(colourNear(img, qRound(v.view.xOfTime(2.1)), plot.top() + 20, 255, 0, 0));
        QVERIFY(colourNear(img, qRound(v.view.xOfTime(0.9)), midY, 191, 191, 191));
        QVERIFY(colourNear(img, qRound(v.view.xOfTime(4.6)), plot.bottom() - 5, 191, 191, 191));
        const double apex = c.doc.peaks.peaks[4].apexTime;
        QVERIFY(
            colourNear(img, qRound(v.view.xOfTime(apex)), qRound(v.view.yOfValue(121)), 0, 0, 255));
        // Arrowheads inside a peak wider than 10 pixels.
        QVERIFY(colourNear(img, qRound(v.view.xOfTime(1.9)) + 4, plot.top() + 4, 255, 0, 0));
        // No marks where there is no peak.
        const int empty = qRound(v.view.xOfTime(5.5));
        for (int y = plot.top() + 2; y < plot.bottom() - 2; ++y) {
            QVERIFY(!isColour(img.pixel(empty, y), 191, 191, 191));
            QVERIFY(!isColour(img.pixel(empty, y), 255, 0, 0));
        }

        // The tracking line of a tool inverts the pixels under it: black on
        // the white plot; the first click stays marked by a dotted line.
        run(v.view, cmd::kAddPeak);
        QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.at(5.2));
        QTest::mouseMove(&v.view, v.at(5.5));
        const QImage tool = v.view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(tool.save(QDir::current().filePath(QStringLiteral("zelmora_view_tool.png"))));
        QVERIFY(colourNear(tool, v.at(5.5).x(), midY, 0, 0, 0));
        QVERIFY(colourNear(tool, v.at(5.2).x(), midY, 0, 0, 0));
        QTest::keyClick(&v.view, Qt::Key_Escape);
        const QImage after = v.view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(!colourNear(after, v.at(5.5).x(), midY, 0, 0, 0));

        // Segments as marks, horizontal labels, groups shown and the method's
        // retention windows.
        Method m;
        MethodComponent ethane;
        ethane.name = "Этан";
        ethane.retentionTime = 2.0;
        ethane.window = 5;
        m.calculation.components = {ethane};
        c.doc.reloadMethod(methodCopyOf(m));
        setDisplay(1, 0, false, false, true, true);
        c.commands.ToggleGroups();
        QTest::qWait(1);
        const QImage img2 = v.view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(img2.save(QDir::current().filePath(QStringLiteral("zelmora_view_segments.png"))));
        // The band of Этан's window, 1.9 to 2.1 min.
        QVERIFY(isColour(img2.pixel(qRound(v.view.xOfTime(1.92)), midY), 234, 255, 255));
        QVERIFY(isColour(img2.pixel(qRound(v.view.xOfTime(1.85)), midY), 255, 255, 255));
        // A segment mark stops 8 pixels below the baseline; no full-height line.
        const int xs = qRound(v.view.xOfTime(4.4));
        QVERIFY(!colourNear(img2, xs, plot.top() + 3, 191, 191, 191));
        // The group's common baseline is drawn emphasised.
        const Peak& g0 = c.doc.peaks.peaks[2];
        const Peak& g1 = c.doc.peaks.peaks[3];
        const double tm = g0.endTime;
        const double ym = g0.baselineAtStart + (g1.baselineAtEnd - g0.baselineAtStart) *
                                                   (tm - g0.startTime) /
                                                   (g1.endTime - g0.startTime);
        QVERIFY(colourNear(img2, qRound(v.view.xOfTime(tm - 0.03)), qRound(v.view.yOfValue(ym)), 0,
                           150, 0));
        setDisplay(0, 1, false, false, true);
    }

    // The columns of minima and maxima show, in every pixel column, the
    // whole range of the samples that fall into it, and nothing beyond the
    // joins to the samples next to it.
    void decimatedCurveCoversEverySample() {
        CZelmoraDoc doc;
        SyntheticChromatogram spec;
        spec.samples = 200000;
        spec.dt = 0.0001;
        spec.noise = 3;
        spec.peaks = evenlySpacedPeaks(spec, 12, 100, 0.05);
        doc.signal = makeSyntheticSignal(spec);
        doc.signal.samples[50000] = std::numeric_limits<float>::quiet_NaN();
        gui::ChromatogramPicture picture;
        const QSizeF size(900, 400);
        const gui::ViewGeometry g = picture.layout(size, 2.0, 14.0, -20, 130);
        gui::ViewScene scene;
        scene.doc = &doc;
        QImage img(size.toSize(), QImage::Format_RGB32);
        {
            QPainter p(&img);
            picture.draw(p, size, g, scene);
        }
        QVERIFY(picture.samplesVisited() >= 119990 && picture.samplesVisited() <= 120010);

        // The samples of each pixel column, found from their own positions.
        const int left = static_cast<int>(g.plot.left), right = static_cast<int>(g.plot.right);
        const int columns = right - left;
        const double inf = std::numeric_limits<double>::infinity();
        std::vector<double> lo(columns, inf), hi(columns, -inf);
        std::vector<double> outerLo(columns, inf), outerHi(columns, -inf);
        const Signal& s = doc.signal;
        long long previous = -1;
        int previousColumn = -1;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double v = s.samples[i];
            if (std::isnan(v))
                continue;
            const int k =
                static_cast<int>(std::floor(g.xOf(s.timeAt(static_cast<double>(i))))) - left;
            if (k >= 0 && k < columns) {
                lo[k] = std::min(lo[k], v);
                hi[k] = std::max(hi[k], v);
                outerLo[k] = std::min(outerLo[k], v);
                outerHi[k] = std::max(outerHi[k], v);
            }
            // A join between two columns may reach into either of them.
            if (previous >= 0 && previousColumn != k) {
                const double u = s.samples[static_cast<std::size_t>(previous)];
                for (int c : {previousColumn, k}) {
                    if (c >= 0 && c < columns) {
                        outerLo[c] = std::min({outerLo[c], u, v});
                        outerHi[c] = std::max({outerHi[c], u, v});
                    }
                }
            }
            previous = static_cast<long long>(i);
            previousColumn = k;
        }
        int compared = 0;
        for (int k = 1; k + 1 < columns; ++k) {
            const int x = left + k;
            int top = -1, bottom = -1;
            for (int y = 0; y < img.height(); ++y) {
                if (isColour(img.pixel(x, y), 0, 0, 255)) {
                    top = top < 0 ? y : top;
                    bottom = y;
                }
            }
            const QString where = QStringLiteral("column %1: drawn %2..%3, samples %4..%5")
                                      .arg(x)
                                      .arg(top)
                                      .arg(bottom)
                                      .arg(g.yOf(hi[k]))
                                      .arg(g.yOf(lo[k]));
            QVERIFY2(top >= 0, qPrintable(where));
            QVERIFY2(top <= g.yOf(hi[k]) + 1 && bottom >= g.yOf(lo[k]) - 1, qPrintable(where));
            // The rasteriser may put a steep stroke one column aside.
            const double ceiling = std::max({outerHi[k - 1], outerHi[k], outerHi[k + 1]});
            const double floorValue = std::min({outerLo[k - 1], outerLo[k], outerLo[k + 1]});
            QVERIFY2(top >= g.yOf(ceiling) - 1 && bottom <= g.yOf(floorValue) + 1,
                     qPrintable(where));
            ++compared;
        }
        QVERIFY(compared > 800);

        // The same zoom again reuses the columns; changed samples are read again.
        {
            QPainter p(&img);
            picture.draw(p, size, g, scene);
        }
        QCOMPARE(picture.samplesVisited(), std::size_t{0});
        picture.invalidateSignal();
        {
            QPainter p(&img);
            picture.draw(p, size, g, scene);
        }
        QVERIFY(picture.samplesVisited() >= 119990 && picture.samplesVisited() <= 120010);
    }

    void degenerateTracesDrawAndIgnoreClicks() {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const std::vector<std::vector<float>> traces = {{},
                                                        {5.0f},
                                                        std::vector<float>(100, 7.0f),
                                                        std::vector<float>(50, nan),
                                                        {1, nan, 3, nan}};
        for (const auto& samples : traces) {
            Chromatogram c;
            c.doc.peaks.clear();
            c.doc.signal.samples = samples;
            c.doc.signal.dt = 0.01;
            ShownView v(c);
            QCOMPARE(v.view.selectedPeak(), -1);
            QVERIFY(!v.view.grab().isNull());
            for (double r : {v.view.visibleTimeFrom(), v.view.visibleTimeTo(),
                             v.view.visibleSignalFrom(), v.view.visibleSignalTo()})
                QVERIFY(std::isfinite(r));
            QVERIFY(v.view.visibleTimeTo() > v.view.visibleTimeFrom());
            QVERIFY(v.view.visibleSignalTo() > v.view.visibleSignalFrom());
            run(v.view, cmd::kAddPeak);
            QTest::mouseClick(&v.view, Qt::LeftButton, {}, v.view.plotRect().center());
            QTest::mouseClick(&v.view, Qt::LeftButton, {},
                              v.view.plotRect().center() + QPoint(50, 0));
            if (samples.size() < 2)
                QCOMPARE(c.doc.peakCount(), std::size_t{0});
            QTest::keyClick(&v.view, Qt::Key_Escape);
            for (int i = 0; i < 60; ++i)
                QTest::keyClick(&v.view, Qt::Key_Right, Qt::ShiftModifier);
            QTest::keyClick(&v.view, Qt::Key_Up, Qt::ShiftModifier);
            wheel(v.view, v.view.plotRect().center(), 120, Qt::ControlModifier);
            QVERIFY(v.view.visibleTimeTo() > v.view.visibleTimeFrom());
            QVERIFY(v.view.visibleSignalTo() > v.view.visibleSignalFrom());
            QVERIFY(!v.view.grab().isNull());
        }
    }
};

QTEST_MAIN(ZelmoraViewTest)
#include "zelmora_view_test.moc"
