// The peak table beside the chromatogram, driven as an operator drives it:
// one selection in both views, peaks deleted and added in either, the
// groups, units and critical-value bars from a real analyses database, the
// read-only table of an ordinary chromatogram, and a calibration
// chromatogram whose amounts, typed into the table and saved, are the
// amounts zelmora-cli calibrate puts into the method.

#include <QProcess>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

#include "database/analyses_database.h"
#include "database/catalogue.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/document/passport_dlg.h"
#include "gui/document/peek_view.h"
#include "gui/document/zelmora_view.h"
#include "gui_test_support.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_grid.h"

using namespace zelmora;
using zelmora::gui::CChildFrame;
using zelmora::gui::CPeekView;
namespace fs = std::filesystem;

namespace {

// The demo sample marked, identified and quantified by the method "Демо".
bool writeProcessedChromatogram(const fs::path& file, bool calibration,
                                const std::string& place = {}, const std::string& point = {}) {
    CZelmoraDoc doc;
    fillDemoDocument(doc, "Демо", 1700000000);
    SilentMessageSink sink;
    doc.reloadMethod(sink);
    if (!doc.hasMethod)
        return false;
    ProcessChromatogram(doc);
    doc.passport.calibration = calibration ? 1 : 0;
    doc.passport.place = place;
    doc.passport.point = point;
    return doc.Write(file, sink, false).ok() && doc.peaks.size() >= 5;
}

QString cell(CPeekView* v, int row, int column) {
    return v->model()->index(row, column).data().toString();
}

}  // namespace

class PeekViewTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(guitest::startWithDemoMethod());
        CProgramSettings::instance().update([](ProgramOptions& o) {
            o.viewGroup = true;
            o.floatType = 1;
        });
    }

    void bothViewsKeepOneSelection() {
        QTemporaryDir dir;
        const fs::path file = fs::path(dir.path().toStdString()) / "демо.stg";
        QVERIFY(writeProcessedChromatogram(file, false));
        CChildFrame frame;
        QVERIFY(frame.openFile(file));
        frame.resize(900, 640);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        CPeekView* peek = frame.peekView();
        gui::CZelmoraView* view = frame.view();
        QVERIFY(peek != nullptr && view != nullptr);
        QVERIFY(qobject_cast<QSplitter*>(frame.widget()) != nullptr);
        const int peaks = static_cast<int>(frame.document().peaks.size());
        QCOMPARE(peek->model()->rowCount(), peaks);  // the demo method has no groups
        QCOMPARE(cell(peek, 0, kGridComponent), QStringLiteral("Метан"));
        QCOMPARE(cell(peek, 0, kGridNumber), QStringLiteral("1"));
        QVERIFY(frame.grab().save(QStringLiteral("peek-view.png")));

        // The chromatogram view selects: the table follows, and back.
        const double apex = frame.document().peaks.peaks[2].apexTime;
        QTest::mouseClick(view, Qt::LeftButton, {},
                          QPoint(qRound(view->xOfTime(apex)), view->plotRect().center().y()));
        QCOMPARE(view->selectedPeak(), 2);
        QCOMPARE(peek->selectedPeak(), 2);
        peek->setCurrentIndex(peek->model()->index(peek->rowOfPeak(3), 1));
        QCOMPARE(view->selectedPeak(), 3);

        // Deleted in the view: the table loses the peak's row, and the
        // method's component that no peak is now shows as not found.
        QVERIFY(view->deleteSelectedPeak());
        QCOMPARE(static_cast<int>(frame.document().peaks.size()), peaks - 1);
        QCOMPARE(peek->rowOfPeak(peaks - 1), -1);
        QCOMPARE(peek->model()->rowCount(), peaks);
        QCOMPARE(cell(peek, peaks - 1, kGridConcentration), QStringLiteral("не найден"));
        QCOMPARE(peek->selectedPeak(), view->selectedPeak());
        // Deleted from the table's menu command: the same command as the view's.
        peek->setCurrentIndex(peek->model()->index(peek->rowOfPeak(0), 1));
        QCOMPARE(view->selectedPeak(), 0);
        QVERIFY(peek->isCommandEnabled(gui::command::kDeletePeak));
        QVERIFY(peek->runCommand(gui::command::kDeletePeak));
        QCOMPARE(static_cast<int>(frame.document().peaks.size()), peaks - 2);
        QVERIFY(cell(peek, 0, kGridComponent) != QStringLiteral("Метан"));
        QCOMPARE(peek->selectedPeak(), view->selectedPeak());
        // Added by the document's command: a new row, named by identification.
        QVERIFY(frame.commands().AddPeakBetween(1.9, 2.1));
        QCOMPARE(static_cast<int>(frame.document().peaks.size()), peaks - 1);
        QCOMPARE(cell(peek, 0, kGridComponent), QStringLiteral("Метан"));
        QCOMPARE(peek->model()->rowCount(), peaks);
        QVERIFY(frame.grab().save(QStringLiteral("peek-view-edited.png")));

        // An ordinary chromatogram's table is read-only.
        const QModelIndex conc = peek->model()->index(0, kGridConcentration);
        QVERIFY(!(peek->model()->flags(conc) & Qt::ItemIsEditable));
        QVERIFY(!peek->model()->setData(conc, QStringLiteral("5")));
        frame.document().setModified(false);
    }

    void groupsUnitsAndBarsFromTheDatabase() {
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        db::CAnalysesDatabase database(root / "Zelmora.db");
        QVERIFY(database.create());
        db::Connection& c = database.connection();
        const int st = *db::addStation(c, "ГРС-1");
        const int pl = *db::addPlace(c, st, "Выход");
        const int methane = *db::addParametr(c, "Метан", "%", 1);
        const int ethane = *db::addParametr(c, "Этан", "% об.", 1000);
        QVERIFY(db::controlComponents(c, pl, {methane, ethane}));
        gui::setPassportCatalogue(&c);

        // The method groups methane and ethane; a component of the method
        // that no peak is becomes a "не найден" row.
        CMethodSheet sheet;
        sheet.method() = demoMethod();
        sheet.method().groups = {{"Метан", "Лёгкие"}, {"Этан", "Лёгкие"}};
        MethodComponent extra;
        extra.name = "Гелий";
        extra.retentionTime = 0.7;
        sheet.method().calculation.components.push_back(extra);
        QVERIFY(sheet.WriteMethod("Демо группы").ok());
        CZelmoraDoc doc;
        fillDemoDocument(doc, "Демо группы", 1700000000);
        SilentMessageSink sink;
        doc.reloadMethod(sink);
        ProcessChromatogram(doc);
        doc.passport.place = "ГРС-1";
        doc.passport.point = "Выход";
        const fs::path file = root / "группы.stg";
        QVERIFY(doc.Write(file, sink, false).ok());

        {
            CChildFrame frame;
            QVERIFY(frame.openFile(file));
            frame.resize(900, 640);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            CPeekView* peek = frame.peekView();
            const CZelmoraDoc& d = frame.document();
            QCOMPARE(cell(peek, 0, kGridComponent), QStringLiteral("Метан"));
            QCOMPARE(cell(peek, 0, kGridUnit), QStringLiteral("%"));
            QCOMPARE(cell(peek, 1, kGridUnit), QStringLiteral("% об."));
            QCOMPARE(cell(peek, 2, kGridComponent), QStringLiteral("Лёгкие"));
            const double sum = d.peaks.peaks[0].concentration + d.peaks.peaks[1].concentration;
            QCOMPARE(cell(peek, 2, kGridConcentration),
                     QString::fromStdString(FormatValue(sum, 0)));
            QVERIFY(peek->model()->index(2, 0).data(Qt::BackgroundRole).isValid());
            // Methane's share of the normalised sum is far above 1 %: a full
            // bar; ethane's far below 1000: a partial one.
            QCOMPARE(peek->model()->index(0, kGridConcentration).data(Qt::UserRole + 1).toInt(),
                     100);
            QVERIFY(peek->model()->index(0, kGridConcentration).data(Qt::UserRole + 2).toBool());
            const int ethaneBar =
                peek->model()->index(1, kGridConcentration).data(Qt::UserRole + 1).toInt();
            QCOMPARE(ethaneBar, static_cast<int>(d.peaks.peaks[1].concentration * 100 / 1000));
            const int last = peek->model()->rowCount() - 1;
            QCOMPARE(cell(peek, last, kGridComponent), QStringLiteral("Гелий"));
            QCOMPARE(cell(peek, last, kGridConcentration), QStringLiteral("не найден"));
            QVERIFY(frame.grab().save(QStringLiteral("peek-view-groups.png")));
        }
        gui::setPassportCatalogue(nullptr);
    }

    void calibrationAmountsReachCalibrate() {
        QTemporaryDir dir;
        const fs::path root(dir.path().toStdString());
        db::CAnalysesDatabase database(root / "Zelmora.db");
        QVERIFY(database.create());
        gui::setPassportCatalogue(&database.connection());
        const fs::path file = root / "градуировка.stg";
        QVERIFY(writeProcessedChromatogram(file, true));
        CChildFrame frame;
        QVERIFY(frame.openFile(file));
        frame.resize(900, 640);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        CPeekView* peek = frame.peekView();
        QSignalSpy failed(peek, &CPeekView::editFailed);
        QAbstractItemModel* m = peek->model();
        const int methane = peek->rowOfPeak(0);
        const int ethane = peek->rowOfPeak(1);
        QVERIFY(m->flags(m->index(methane, kGridConcentration)) & Qt::ItemIsEditable);
        QVERIFY(m->setData(m->index(methane, kGridConcentration), QStringLiteral("1,5")));
        QVERIFY(m->setData(m->index(ethane, kGridConcentration), QStringLiteral("0.25")));
        QTRY_COMPARE(frame.document().peaks.peaks[0].concentration, 1.5);
        QCOMPARE(frame.document().peaks.peaks[1].concentration, 0.25);
        QTRY_VERIFY(frame.document().isModified());
        // Text that is not wholly a number is refused with the beep.
        QVERIFY(!m->setData(m->index(methane, kGridConcentration), QStringLiteral("1,5 мг")));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(frame.document().peaks.peaks[0].concentration, 1.5);
        // The reference mark toggles with a click; the unit goes to the catalogue.
        peek->scrollTo(m->index(methane, kGridReference));
        const QRect refCell = peek->visualRect(m->index(methane, kGridReference));
        QTest::mouseClick(peek->viewport(), Qt::LeftButton, {}, refCell.center());
        QTRY_COMPARE(frame.document().peaks.peaks[0].isReference, 1);
        QVERIFY(m->setData(m->index(peek->rowOfPeak(0), kGridUnit), QStringLiteral("мг")));
        QTRY_COMPARE(cell(peek, peek->rowOfPeak(0), kGridUnit), QStringLiteral("мг"));
        // The component picker names a peak; the catalogue learns the name.
        peek->pickComponent = [](const QString&, QWidget*) { return QStringLiteral("Аргон"); };
        const std::string lastName = frame.document().peaks.peaks.back().componentName;
        const QModelIndex lastCell = m->index(
            peek->rowOfPeak(static_cast<int>(frame.document().peaks.size()) - 1), kGridComponent);
        peek->setCurrentIndex(lastCell);
        emit peek->doubleClicked(lastCell);
        QTRY_COMPARE(frame.document().peaks.peaks.back().componentName, std::string("Аргон"));
        QVERIFY(*db::parametrKey(database.connection(), "Аргон"));
        QVERIFY(frame.grab().save(QStringLiteral("peek-view-calibration.png")));
        frame.document().peaks.peaks.back().componentName = lastName;
        QVERIFY(frame.saveTo(file));
        gui::setPassportCatalogue(nullptr);

        // zelmora-cli calibrate takes the amounts the file now holds.
        const fs::path method = programOptions().methodFolder() / "Демо.mtd";
        QProcess cli;
        cli.start(QStringLiteral(ZELMORA_CLI_BINARY),
                  {QStringLiteral("calibrate"), QString::fromStdString(method.string()),
                   QString::fromStdString(file.string())});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        CMethodSheet calibrated;
        QVERIFY(calibrated.ReadMethod("Демо").ok());
        const auto& comps = calibrated.method().calculation.components;
        auto amountOf = [&](const char* name) {
            for (const MethodComponent& c : comps)
                if (c.name == name && !c.points.empty())
                    return c.points.back().amount;
            return -1.0;
        };
        QCOMPARE(amountOf("Метан"), 1.5);
        QCOMPARE(amountOf("Этан"), 0.25);
        QVERIFY(guitest::writeDemoMethod("Демо"));
    }
};

QTEST_MAIN(PeekViewTest)
#include "peek_view_test.moc"
