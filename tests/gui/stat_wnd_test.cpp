// The statistics window driven as an operator would: five injections of one
// sample added through the chromatogram chooser (a damaged file refused and
// named), listed by their paths in the data folder; the grid's means and
// RSDs, a component missing from one injection and one found only once; the
// reference chromatogram changed by selecting it; the converter coefficient;
// a zero-line chromatogram; the detection-limit dialog; the report of the
// chosen rows written as RTF and PDF; a file gone from the disk on
// "&Перерасчёт"; the single window, and "Kacp" written when it closes. A
// picture of the window and the report's PDF are left in the build folder.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>

#include "app/settings_store.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/file_dialogs.h"
#include "gui/number_edit.h"
#include "gui/reports/detection_limit_dlg.h"
#include "gui/reports/report_wnd.h"
#include "gui/reports/stat_wnd.h"
#include "gui_test_support.h"
#include "reports/rtf_reader.h"

using namespace zelmora;
using zelmora::gui::CStatWnd;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

struct Drawn {
    const char* name;
    double time, height, concentration;
};

bool writeInjection(const fs::path& file, const char* sample, const std::vector<Drawn>& peaks,
                    double noise) {
    CZelmoraDoc doc;
    SyntheticChromatogram spec;
    spec.samples = 6000;
    spec.dt = 0.002;
    spec.noise = noise;
    spec.seed = 11;
    // Gaussian peaks of σ = 0.02 min: the area is height · 0.02 · √(2π).
    for (const Drawn& d : peaks)
        spec.peaks.push_back({d.time, d.height, 0.02});
    doc.signal = makeSyntheticSignal(spec);
    doc.passport.sample = sample;
    for (const Drawn& d : peaks) {
        doc.peaks.peaks.emplace_back(d.time - 0.2, d.time + 0.2);
        Peak& p = doc.peaks.peaks.back();
        p.componentName = d.name;
        p.apexTime = d.time;
        p.concentration = d.concentration;
    }
    doc.peaks.renumber();
    RecordingMessageSink sink;
    return doc.Write(file, sink, false).ok();
}

QStringList column(const QTableWidget* grid, int c) {
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r)
        out << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
    return out;
}

QPushButton* button(QWidget* w, const QString& text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

}  // namespace

class StatWndTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    fs::path file(const std::string& name) const {
        return fs::path(dir_.path().toStdString()) / name;
    }

  private slots:
    void initTestCase() {
        // Benzene heights 10, 10.5, 9.5, 10.2, 9.8 (RSD 3.808 %, and so of
        // the areas); toluene 5, 5.5, 4.5, 5.2 (RSD 8.323 %) missing from the
        // third injection; xylene in the second only.
        const double bTime[] = {2.50, 2.51, 2.49, 2.50, 2.50};
        const double bHeight[] = {10, 10.5, 9.5, 10.2, 9.8};
        const double tHeight[] = {5, 5.5, 0, 4.5, 5.2};
        for (int i = 0; i < 5; ++i) {
            std::vector<Drawn> peaks = {{"Бензол", bTime[i], bHeight[i], 1.0}};
            if (i != 2)
                peaks.push_back({"Толуол", 4.1, tHeight[i], 0.5});
            if (i == 1)
                peaks.push_back({"Ксилол", 6.2, 2, 0.2});
            QVERIFY(writeInjection(file("inj" + std::to_string(i + 1) + ".stg"),
                                   ("Смесь " + std::to_string(i + 1)).c_str(), peaks, 0.002));
        }
        QVERIFY(writeInjection(file("zero.stg"), "Нулевая линия", {}, 0.1));
        std::ofstream(file("плохой.stg")) << "не хроматограмма";
        userSettings().deleteValue(kRootKey, "Kacp");
        QVERIFY(userSettings().flush());
    }

    void repeatedInjections() {
        MessageLog messages;
        CStatWnd* w = gui::ShowStatisticsWindow(nullptr);
        QVERIFY(w);
        QCOMPARE(gui::ShowStatisticsWindow(nullptr), w);  // one window only
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Статистическая обработка"));
        QCOMPARE(w->grid()->columnCount(), 12);
        QVERIFY(!w->reportButton()->isEnabled());
        w->setDataFolder(dir_.path().toStdString());
        w->setLimitEditor([](QWidget*) { return true; });

        {
            gui::ScopedChromatogramBrowser chooser([&](int, QWidget*) {
                return std::vector<fs::path>{file("inj3.stg"), file("inj1.stg"), file("плохой.stg"),
                                             file("inj2.stg"), file("inj5.stg"), file("inj4.stg")};
            });
            QTest::mouseClick(button(w, QStringLiteral("&Добавить")), Qt::LeftButton);
        }
        QVERIFY(messages.saw(QStringLiteral("Не добавлены хроматограммы")));
        QVERIFY(messages.saw(QStringLiteral("плохой.stg")));
        QTreeWidget* list = w->chromatogramList();
        QCOMPARE(list->topLevelItemCount(), 5);
        // Relative to the data folder, in path order.
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("inj1.stg"));
        QCOMPARE(list->topLevelItem(4)->text(1), QStringLiteral("Смесь 5"));
        QCOMPARE(w->current(), std::optional<std::size_t>(0));

        QTableWidget* grid = w->grid();
        QCOMPARE(column(grid, 0), (QStringList{"Бензол", "Ксилол", "Толуол"}));
        QCOMPARE(column(grid, 1), (QStringList{"2.500", "6.200", "4.100"}));
        QCOMPARE(column(grid, 2).at(0), QStringLiteral("0.283"));
        // Toluene: four peaks, mean height 5.05 (not 4.04 over five), RSD
        // 8.32 %, the areas in proportion.
        const double area = 0.02 * std::sqrt(2 * M_PI);
        QVERIFY(std::fabs(grid->item(2, 3)->text().toDouble() - 5.05) < 0.01);
        QVERIFY(std::fabs(grid->item(2, 4)->text().toDouble() - 8.323) < 0.05);
        QVERIFY(std::fabs(grid->item(2, 5)->text().toDouble() - 5.05 * area) < 0.005);
        QVERIFY(std::fabs(grid->item(2, 6)->text().toDouble() - 8.323) < 0.1);
        QVERIFY(std::fabs(grid->item(0, 4)->text().toDouble() - 3.808) < 0.05);
        QVERIFY(std::fabs(grid->item(0, 6)->text().toDouble() - 3.808) < 0.1);
        // Xylene, found once: no RSD, and no limit (it is not in the reference).
        QCOMPARE(grid->item(1, 6)->text(), QStringLiteral("—"));
        QCOMPARE(grid->item(1, 9)->text(), QStringLiteral("?"));
        QVERIFY(grid->item(0, 9)->text().endsWith(QStringLiteral("г/сек")));
        // Every row chosen for the report.
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 3);
        QVERIFY(w->reportButton()->isEnabled());

        // The second injection as reference: xylene gets its limit.
        list->setCurrentItem(list->topLevelItem(1));
        QCOMPARE(w->current(), std::optional<std::size_t>(1));
        QVERIFY(grid->item(1, 9)->text().endsWith(QStringLiteral("г/сек")));

        // The converter coefficient converts the noise and drift.
        const QString plain = w->noiseBox()->text();
        QVERIFY(plain.endsWith(QStringLiteral(" мВ")));
        w->setCoefficient(QStringLiteral("0.5 мкг/мВ"));
        QVERIFY(w->noiseBox()->text().startsWith(plain + QStringLiteral(",  ")));
        QVERIFY(w->noiseBox()->text().endsWith(QStringLiteral(" мкг")));
        QVERIFY(w->driftBox()->text().endsWith(QStringLiteral(" мкг/ч")));

        // A zero line with twenty times the noise takes over the noise.
        const double referenceNoise = w->statistics().noise;
        QVERIFY(w->setZeroLine(file("zero.stg")));
        QCOMPARE(w->zeroLineBox()->text(), QStringLiteral("zero.stg"));
        QVERIFY(w->statistics().noise > 10 * referenceNoise);
        QVERIFY(w->setZeroLine({}));
        QCOMPARE(w->statistics().noise, referenceNoise);

        const QImage picture = w->grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/statistics_window.png")));

        // The report of the chosen rows: benzene and toluene, not xylene.
        grid->clearSelection();
        grid->selectRow(0);
        grid->selectRow(2);
        {
            // The report opens in a report window, which saves it.
            QTest::mouseClick(w->reportButton(), Qt::LeftButton);
            gui::CReportWnd* report = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* r = qobject_cast<gui::CReportWnd*>(top); r && r->isVisible())
                    report = r;
            QVERIFY(report != nullptr);
            QCOMPARE(report->title(), QStringLiteral("Отчёт поверки прибора"));
            QVERIFY(report->saveTo(file("поверка.rtf")));
            const Result<rtf::RtfDocument> rtf = rtf::readRtfFile(file("поверка.rtf"));
            QVERIFY2(rtf.ok(), rtf.message().c_str());
            const std::string text = rtf->plainText();
            for (const char* expected :
                 {"Отчёт поверки прибора\n", "2*\tinj2.stg\tСмесь 2\t", "Компонент: Бензол\n",
                  "Компонент: Толуол\n", "3\t\t0\t0\t0\t", "Шум нулевой линии: "})
                QVERIFY2(text.find(expected) != std::string::npos, expected);
            QVERIFY(text.find("Ксилол") == std::string::npos);
            QVERIFY2(text.find("__") == std::string::npos, text.c_str());
            const QString pdf = QStringLiteral(QT_TESTCASE_BUILDDIR "/statistics_report.pdf");
            QFile::remove(pdf);
            QVERIFY(report->saveTo(pdf.toStdString()));
            report->setCloseConfirmed(true);
            report->close();
            QFile written(pdf);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QVERIFY(written.read(5) == "%PDF-");
        }

        // The limits dialog's OK recomputes.
        bool edited = false;
        w->setLimitEditor([&](QWidget*) { return edited = true; });
        QTest::mouseClick(button(w, QStringLiteral("Предел детектирования")), Qt::LeftButton);
        QVERIFY(edited);
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 3);

        // A file gone from the disk leaves the list on "&Перерасчёт".
        const int shown = messages.texts.size();
        fs::copy_file(file("inj4.stg"), file("inj6.stg"));
        QCOMPARE(w->addFiles({file("inj6.stg")}), 1);
        fs::remove(file("inj6.stg"));
        QTest::mouseClick(button(w, QStringLiteral("&Перерасчёт")), Qt::LeftButton);
        QCOMPARE(messages.texts.size(), shown + 1);
        QVERIFY(messages.saw(QStringLiteral("inj6.stg")));
        QCOMPARE(list->topLevelItemCount(), 5);
        QCOMPARE(w->current(), std::optional<std::size_t>(1));  // still the second

        // Removing the reference makes the first the reference.
        list->clearSelection();
        list->topLevelItem(1)->setSelected(true);
        QTest::mouseClick(button(w, QStringLiteral("&Удалить")), Qt::LeftButton);
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(w->current(), std::optional<std::size_t>(0));
        QCOMPARE(column(grid, 0), (QStringList{"Бензол", "Толуол"}));
        QTest::mouseClick(button(w, QStringLiteral("Удалить &все")), Qt::LeftButton);
        QCOMPARE(grid->rowCount(), 0);
        QVERIFY(!w->reportButton()->isEnabled());
        QVERIFY(!w->current());

        // Closing writes the coefficient.
        QPointer<CStatWnd> guard(w);
        w->close();
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(userSettings().readString(kRootKey, "Kacp", ""), std::string("0.5 мкг/мВ"));
        QVERIFY(gui::statisticsWindow() == nullptr);
        // Opened again, the window has it.
        CStatWnd* again = gui::ShowStatisticsWindow(nullptr);
        QCOMPARE(again->coefficientBox()->text(), QStringLiteral("0.5 мкг/мВ"));
        again->close();
    }

    void detectionLimitDialog() {
        MessageLog messages;
        ProgramOptions o;
        o.c0 = 1;
        o.detType2 = 0;
        gui::CDetectionLimitDlg dlg(o);
        dlg.c0Box()->setText(QStringLiteral("2,5"));
        dlg.detectorBox()->setCurrentIndex(4);
        dlg.unitBox()->setCurrentIndex(1);
        dlg.useC0Box()->setChecked(true);
        QVERIFY(!dlg.c0Box()->isEnabled());
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.options().c0, 2.5);
        QCOMPARE(dlg.options().detType2, 4);
        QCOMPARE(dlg.options().detType, 1);
        QVERIFY(dlg.options().useC0);
        // A volume that is not a number keeps the dialog open.
        gui::CDetectionLimitDlg bad(o);
        bad.volumeBox()->setText(QStringLiteral("много"));
        bad.accept();
        QVERIFY(bad.result() != int(QDialog::Accepted));
        QCOMPARE(bad.options().v, o.v);
        QCOMPARE(messages.texts.size(), 1);
        const QImage picture = dlg.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/detection_limit_dialog.png")));
    }
};

QTEST_MAIN(StatWndTest)
#include "stat_wnd_test.moc"
