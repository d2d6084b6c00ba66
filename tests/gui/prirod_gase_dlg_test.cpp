// The natural-gas window driven as an operator would: three chromatograms of
// one gas added through the chromatogram chooser (a damaged one refused and
// named), the mean composition with methane by difference and the
// repeatability verdicts in the grid, the results in both units and at both
// temperatures, the water content, a composition above 100 % that empties
// the results with its reason, the "Имена" dialog, removing and opening
// entries, the report in its window, saved as RTF and PDF and printed, the
// single window and the names written when it closes. Pictures of the
// window, the dialog and the report, and the report's PDF, are left in the
// build folder.

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <memory>

#include "app/settings_store.h"
#include "gui/calc/prirod_gase_dlg.h"
#include "gui/calc/prirod_gase_names_dlg.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/file_dialogs.h"
#include "gui/number_edit.h"
#include "gui/reports/report_printing.h"
#include "gui/reports/report_wnd.h"
#include "gui_test_support.h"
#include "reports/rtf_reader.h"

using namespace zelmora;
using zelmora::gui::CPrirodGaseDlg;
using zelmora::gui::CPrirodGaseNamesDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

bool writeGas(const fs::path& file, const char* sample,
              const std::vector<std::pair<const char*, double>>& peaks) {
    CZelmoraDoc doc;
    SyntheticChromatogram spec;
    spec.samples = 600;
    spec.dt = 0.01;
    for (std::size_t i = 0; i < peaks.size(); ++i)
        spec.peaks.push_back({1.0 + static_cast<double>(i), 10.0, 0.05});
    doc.signal = makeSyntheticSignal(spec);
    doc.passport.sample = sample;
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        const double t = 1.0 + static_cast<double>(i);
        doc.peaks.peaks.emplace_back(t - 0.3, t + 0.3);
        doc.peaks.peaks.back().componentName = peaks[i].first;
        doc.peaks.peaks.back().concentration = peaks[i].second;
    }
    doc.peaks.renumber();
    RecordingMessageSink sink;
    return doc.Write(file, sink, false).ok();
}

QStringList column(const QTableWidget* grid, int c) {
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r)
        out << grid->item(r, c)->text();
    return out;
}

}  // namespace

class PrirodGaseDlgTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    std::vector<fs::path> files_;

    fs::path file(const char* name) const { return fs::path(dir_.path().toStdString()) / name; }

  private slots:
    void initTestCase() {
        // Ethane 3.00, 3.05, 3.10 %; propane in all three; nitrogen in two.
        QVERIFY(writeGas(file("г2.stg"), "Газ, 2",
                         {{"Метан", 95.5}, {"Этан", 3.05}, {"Пропан", 1.0}, {"Азот", 0.5}}));
        QVERIFY(
            writeGas(file("г1.stg"), "Газ, 1", {{"Метан", 95.9}, {"Этан", 3.0}, {"Пропан", 1.0}}));
        QVERIFY(writeGas(file("г3.stg"), "Газ, 3",
                         {{"Метан", 95.1}, {"этан", 3.10}, {"Пропан", 1.2}, {"АЗОТ", 0.7}}));
        std::ofstream(file("плохой.stg")) << "не хроматограмма";
        // The test's settings folder outlives a run: start from the table's names.
        userSettings().deleteKey(kGasNamesKey);
        QVERIFY(userSettings().flush());
        files_ = {file("г2.stg"), file("г1.stg"), file("плохой.stg"), file("г3.stg")};
    }

    void threeChromatograms() {
        MessageLog messages;
        CPrirodGaseDlg* w = gui::ShowNaturalGasWindow(nullptr);
        QVERIFY(w);
        QCOMPARE(gui::ShowNaturalGasWindow(nullptr), w);  // one window only
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Расчёт определения параметров природных горючих газов"));
        // Empty list: pure methane, and no report without chromatograms.
        QCOMPARE(column(w->compositionGrid(), 0), QStringList{"Метан"});
        QCOMPARE(w->higherHeatBox()->text(), QStringLiteral("37.10 МДж/м3"));
        QVERIFY(!w->reportButton()->isEnabled());

        {
            gui::ScopedChromatogramBrowser chooser(
                [&](int mode, QWidget*) { return mode == 0 ? files_ : std::vector<fs::path>{}; });
            QPushButton* add = w->findChild<QPushButton*>();
            for (QPushButton* b : w->findChildren<QPushButton*>()) {
                if (b->text() == QStringLiteral("&Добавить"))
                    add = b;
            }
            QTest::mouseClick(add, Qt::LeftButton);
        }
        QVERIFY(messages.saw(QStringLiteral("Не добавлены хроматограммы")));
        QVERIFY(messages.saw(QStringLiteral("плохой.stg")));
        QCOMPARE(w->chromatogramList()->topLevelItemCount(), 3);
        QCOMPARE(w->chromatogramList()->topLevelItem(0)->text(0), QStringLiteral("г1.stg"));
        QCOMPARE(w->chromatogramList()->topLevelItem(2)->text(1), QStringLiteral("Газ, 3"));

        // Means: ethane 3.05, propane 1.06667, nitrogen 0.6 (of two); methane
        // 100 − 4.71667 = 95.28333.
        QTableWidget* grid = w->compositionGrid();
        QCOMPARE(column(grid, 0), (QStringList{"Метан", "Этан", "Пропан", "Азот"}));
        QCOMPARE(column(grid, 1), (QStringList{"95.28333", "3.05000", "1.06667", "0.60000"}));
        QCOMPARE(column(grid, 2), (QStringList{"0.00000", "0.10000", "0.20000", "0.20000"}));
        QCOMPARE(column(grid, 3), (QStringList{"", "2.357 OK (по ГОСТ Р ИСО 5725)",
                                               "2.357 OK (по ГОСТ Р ИСО 5725)", "2.000 OK"}));
        // Hs = .9528333·37.1 + .0305·65.38 + .0106667·93.98 = 38.34666;
        // d = .9528333·.5546 + .0305·1.046 + .0106667·1.549 + .006·.967 = 0.582669.
        QCOMPARE(w->higherHeatBox()->text(), QStringLiteral("38.35 МДж/м3"));
        QCOMPARE(w->relativeDensityBox()->text(), QStringLiteral("0.5827"));
        QCOMPARE(w->absoluteDensityBox()->text(), QStringLiteral("0.7019 кг/м3"));
        QCOMPARE(w->higherWobbeBox()->text(),
                 QStringLiteral("50.24 МДж/м3"));  // 38.34666/√0.582669
        QCOMPARE(w->temperatureButton()->text(), QStringLiteral("20°C"));
        QCOMPARE(w->unitButton()->text(), QStringLiteral("МДж/м3"));
        QVERIFY(w->problemText().isEmpty());

        const QImage picture = w->grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/natural_gas_window.png")));

        // "&Отчёт" shows the filled form in a report window; from there it is
        // saved as RTF, or as PDF for a ".pdf" name (left in the build folder).
        QVERIFY(w->reportButton()->isEnabled());
        QTest::mouseClick(w->reportButton(), Qt::LeftButton);
        gui::CReportWnd* report = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* r = qobject_cast<gui::CReportWnd*>(top))
                report = r;
        QVERIFY(report != nullptr);
        QCOMPARE(report->title(), QStringLiteral("Расчёт свойств природного газа"));
        QVERIFY(QTest::qWaitForWindowExposed(report));
        QVERIFY(
            report->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/natural_gas_report.png")));
        std::vector<gui::FileRequest> asked;
        QString answer;
        gui::ScopedFileChooser reportFile([&](const gui::FileRequest& r) {
            asked.push_back(r);
            return answer;
        });
        QVERIFY(!report->saveAs());  // cancelled
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY(asked[0].save);
        QCOMPARE(asked[0].filter, QStringLiteral("Отчёт (*.rtf);;PDF (*.pdf)"));
        QCOMPARE(messages.texts.size(), 1);
        answer = QString::fromStdString(file("газ.rtf").string());
        QVERIFY(report->saveAs());
        const Result<rtf::RtfDocument> rtf = rtf::readRtfFile(file("газ.rtf"));
        QVERIFY2(rtf.ok(), rtf.message().c_str());
        const std::string text = rtf->plainText();
        for (const char* expected :
             {"Расчёт свойств природного газа\n", "1\tг1.stg\tГаз, 1\t\n", "3\tг3.stg\tГаз, 3\t\n",
              "2\tЭтан\t3.05000\t0.10000\t2.357 OK (по ГОСТ Р ИСО 5725)\t\n",
              "Теплота сгорания\t38.35 МДж/м3\t", "Число Воббе\t50.24 МДж/м3\t",
              "Абсолютная плотность: 0.7019 кг/м3"})
            QVERIFY2(text.find(expected) != std::string::npos, expected);
        QVERIFY2(text.find("__") == std::string::npos, text.c_str());
        const QString pdf = QStringLiteral(QT_TESTCASE_BUILDDIR "/natural_gas_report.pdf");
        QFile::remove(pdf);
        answer = pdf;
        QVERIFY(report->saveAs());
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");
        // A folder that is not there: the reason, nothing reported as done.
        answer = QString::fromStdString(file("нет/газ.rtf").string());
        QVERIFY(!report->saveAs());
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(messages.saw(QStringLiteral("Не удалось записать отчёт")));
        messages.texts.pop_back();
        // Printed through the printer dialog (into a PDF here).
        const QString printed = QStringLiteral(QT_TESTCASE_BUILDDIR "/natural_gas_printed.pdf");
        QFile::remove(printed);
        {
            gui::ScopedPrinterSetup toPdf(
                [&](QPrinter& printer, bool withDialog, QWidget*, QString&) {
                    printer.setOutputFormat(QPrinter::PdfFormat);
                    printer.setOutputFileName(printed);
                    return withDialog;
                });
            QVERIFY(report->print());
        }
        QVERIFY(QFileInfo(printed).size() > 1000);
        QVERIFY(report->close());
        QCoreApplication::processEvents();

        // kcal/m³ shows whole numbers; 0 °C takes the 0 °C constants.
        QTest::mouseClick(w->unitButton(), Qt::LeftButton);
        QCOMPARE(w->unitButton()->text(), QStringLiteral("ккал/м3"));
        QCOMPARE(w->higherHeatBox()->text(), QStringLiteral("9158 ккал/м3"));
        QTest::mouseClick(w->temperatureButton(), Qt::LeftButton);
        QCOMPARE(w->temperatureButton()->text(), QStringLiteral("0°C"));
        QVERIFY(w->higherHeatBox()->text().endsWith(QStringLiteral(" ккал/м3")));
        QVERIFY(w->higherHeatBox()->text() != QStringLiteral("9158 ккал/м3"));
        QTest::mouseClick(w->temperatureButton(), Qt::LeftButton);
        QTest::mouseClick(w->unitButton(), Qt::LeftButton);
        QCOMPARE(w->higherHeatBox()->text(), QStringLiteral("38.35 МДж/м3"));

        // The other air density at 20 °C: 0.582669 × 1.20445.
        w->airBox()->setCurrentIndex(1);
        QCOMPARE(w->conditions().air, AirDensityReference::Gost30319);
        QCOMPARE(w->absoluteDensityBox()->text(), QStringLiteral("0.7018 кг/м3"));
        w->airBox()->setCurrentIndex(0);

        // Water: 1 % takes 0.01 from methane and adds its own row.
        w->setWaterPercent(1);
        QCOMPARE(column(grid, 1).first(), QStringLiteral("94.28333"));
        QCOMPARE(column(grid, 0).last(), QStringLiteral("Водяной пар"));
        // Text that is no number from 0 to 100: the range message, the last
        // good value kept.
        w->waterBox()->setText(QStringLiteral("200"));
        emit w->waterBox()->editingFinished();
        QCOMPARE(w->conditions().waterPercent, 1.0);
        QCOMPARE(w->waterBox()->value(), std::optional<double>(1.0));
        QCOMPARE(messages.texts.size(), 2);
        // Water that leaves less than nothing for methane: no results, the
        // reason shown.
        w->setWaterPercent(96);
        QVERIFY(!w->result());
        QVERIFY(w->problemText().contains(QStringLiteral("больше 100 %")));
        QVERIFY(w->higherHeatBox()->text().isEmpty());
        QCOMPARE(grid->rowCount(), 0);
        w->setWaterPercent(0);
        QVERIFY(w->result());
        QVERIFY(w->problemText().isEmpty());
        QCOMPARE(grid->rowCount(), 4);

        // "Имена": nitrogen under another name is no longer found.
        CPrirodGaseDlg::NamesEditor previous = CPrirodGaseDlg::namesEditor;
        CPrirodGaseDlg::namesEditor = [](const GasComponentNames& names, const GasConditions& c,
                                         QWidget*) {
            GasComponentNames edited = names;
            edited.names[18] = "N2";
            edited.limits[1] = 0.05;
            return std::optional(std::make_pair(edited, c));
        };
        w->editNames();
        CPrirodGaseDlg::namesEditor = previous;
        QCOMPARE(column(grid, 0), (QStringList{"Метан", "Этан", "Пропан"}));
        QCOMPARE(column(grid, 1).first(), QStringLiteral("95.88333"));
        QCOMPARE(column(grid, 3).at(1), QStringLiteral("0.059 нет (по ГОСТ Р ИСО 5725)"));

        // "Открыть" hands the chosen files to the main window and minimises.
        std::vector<fs::path> opened;
        w->setOpener([&](const fs::path& f) {
            opened.push_back(f);
            return true;
        });
        w->chromatogramList()->topLevelItem(1)->setSelected(true);
        w->openSelected();
        QCOMPARE(opened, std::vector<fs::path>{file("г2.stg")});
        QVERIFY(w->isMinimized());
        QCOMPARE(gui::ShowNaturalGasWindow(nullptr), w);
        QVERIFY(!w->isMinimized());

        // "&Удалить" the selected entry, then "Удалить &все".
        w->removeSelected();
        QCOMPARE(w->analyses().size(), std::size_t(2));
        QCOMPARE(column(grid, 1).at(1), QStringLiteral("3.05000"));  // (3.00 + 3.10) / 2
        QCOMPARE(column(grid, 3).at(1), QStringLiteral("0.050 нет"));
        w->removeAll();
        QCOMPARE(w->chromatogramList()->topLevelItemCount(), 0);
        QCOMPARE(column(grid, 0), QStringList{"Метан"});

        // Closing writes the names and ends the one window.
        QPointer<CPrirodGaseDlg> guard(w);
        w->close();
        QTRY_VERIFY(guard.isNull());
        QVERIFY(gui::naturalGasWindow() == nullptr);
        QCOMPARE(userSettings().readString(kGasNamesKey, "Param18"), std::string("N2"));
        QCOMPARE(userSettings().readString(kGasNamesKey, "Param1_predel"), std::string("0.050000"));
        SettingsStore onDisk(userSettings().file(), false);
        QCOMPARE(onDisk.load(), SettingsStore::LoadStatus::Loaded);
        QCOMPARE(onDisk.readString(kGasNamesKey, "Param18"), std::string("N2"));
        // A new window reads them back.
        CPrirodGaseDlg* again = gui::ShowNaturalGasWindow(nullptr);
        QCOMPARE(again->names().names[18], std::string("N2"));
        again->close();
    }

    void namesKeptWhenTheWindowGoesWithoutClosing() {
        const fs::path file = this->file("own.reg");
        {
            SettingsStore store(file, true);
            store.load();
            auto w = std::make_unique<CPrirodGaseDlg>(store);
            CPrirodGaseDlg::NamesEditor previous = CPrirodGaseDlg::namesEditor;
            CPrirodGaseDlg::namesEditor = [](const GasComponentNames& names, const GasConditions& c,
                                             QWidget*) {
                GasComponentNames edited = names;
                edited.names[2] = "C3";
                return std::optional(std::make_pair(edited, c));
            };
            w->editNames();
            CPrirodGaseDlg::namesEditor = previous;
        }
        SettingsStore back(file, false);
        QCOMPARE(back.load(), SettingsStore::LoadStatus::Loaded);
        QCOMPARE(back.readString(kGasNamesKey, "Param2"), std::string("C3"));
    }

    void namesDialog() {
        MessageLog messages;
        GasComponentNames names;
        GasConditions c;
        CPrirodGaseNamesDlg dlg(names, c);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTableWidget* grid = dlg.grid();
        QCOMPARE(grid->rowCount(), 22);
        QCOMPARE(grid->item(12, 0)->text(), QStringLiteral("Бензол"));
        QCOMPARE(grid->item(12, 3)->text(), QStringLiteral("151.09"));
        QCOMPARE(grid->item(12, 5)->text(), QStringLiteral("2.6970"));
        QCOMPARE(grid->item(0, 6)->text(), QStringLiteral("2.0000"));
        QVERIFY(!(grid->item(0, 3)->flags() & Qt::ItemIsEditable));
        QVERIFY(grid->item(0, 2)->flags() & Qt::ItemIsEditable);
        QVERIFY(grid->item(0, 6)->flags() & Qt::ItemIsEditable);
        const QImage picture = dlg.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/natural_gas_names.png")));
        // The constants follow the two buttons.
        QTest::mouseClick(dlg.unitButton(), Qt::LeftButton);
        QTest::mouseClick(dlg.temperatureButton(), Qt::LeftButton);
        QCOMPARE(grid->item(12, 3)->text(), QStringLiteral("38730"));
        QCOMPARE(grid->item(0, 5)->text(), QStringLiteral("0.5548"));

        // A name given twice, and a limit that is no number: refused.
        grid->item(6, 2)->setText(QStringLiteral("н-пентан"));
        dlg.accept();
        QVERIFY(dlg.isVisible());
        QVERIFY(messages.saw(QStringLiteral("двум компонентам")));
        grid->item(6, 2)->setText(QStringLiteral("iC5"));
        grid->item(6, 6)->setText(QStringLiteral("нет"));
        dlg.accept();
        QVERIFY(dlg.isVisible());
        grid->item(6, 6)->setText(QStringLiteral("0,25"));
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.names().names[6], std::string("iC5"));
        QCOMPARE(dlg.names().limits[6], 0.25);
        QCOMPARE(dlg.conditions().unit, HeatUnit::Kcal);
        QCOMPARE(dlg.conditions().temperature, GasTemperature::C0);
    }
};

QTEST_MAIN(PrirodGaseDlgTest)
#include "prirod_gase_dlg_test.moc"
