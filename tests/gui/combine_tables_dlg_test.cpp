// The table combination dialog driven as the operator would: a chromatogram
// chosen as the source, its densities completed from the density map,
// permanent gases typed into the manual table (a typed density entering the
// map), the result in volume and in mass per cent, the manual and result
// tables saved as ".et" and read back, a damaged ".et" refused with the
// table and title left alone, the density map saved. Then the dialog
// "Плотности веществ" over a "density.txt" made here. Pictures of both are
// left in the test's home folder.

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "calc/et_file.h"
#include "gui/calc/combine_tables_dlg.h"
#include "gui/calc/density_table_dlg.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/file_dialogs.h"
#include "gui_test_support.h"

using namespace zelmora;
using zelmora::gui::CCombineTablesDlg;
using zelmora::gui::CDensityTableDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

bool writePeaks(const fs::path& file, const char* sample,
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
        doc.peaks.peaks.back().apexTime = t;
        doc.peaks.peaks.back().componentName = peaks[i].first;
        doc.peaks.peaks.back().concentration = peaks[i].second;
    }
    doc.peaks.renumber();
    RecordingMessageSink sink;
    return doc.Write(file, sink, false).ok();
}

fs::path home() {
    const fs::path h = qEnvironmentVariableIsEmpty("ZELMORA_HOME")
                           ? fs::current_path()
                           : fs::path(qgetenv("ZELMORA_HOME").toStdString());
    std::error_code ec;
    fs::create_directories(h, ec);
    return h;
}

void setCell(QTableWidget* grid, int row, int column, const QString& text) {
    if (grid->item(row, column) == nullptr)
        grid->setItem(row, column, new QTableWidgetItem);
    grid->item(row, column)->setText(text);
}

QString cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item != nullptr ? item->text() : QString();
}

}  // namespace

class CombineTablesDlgTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    fs::path file(const char* name) const { return fs::path(dir_.path().toStdString()) / name; }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        fs::create_directories(file("Data"));
        // Hydrocarbons summing to 50: scaled by (100 − 20) / 50 = 1.6.
        QVERIFY(writePeaks(file("Data/газ.stg"), "Проба 7", {{"Метан", 30}, {"Этан", 20}}));
        QVERIFY(writeDensityMap(file("Denseness.den"), {{"Метан", 0.668}, {"Этан", 1.26}}));
    }

    void combineSaveAndReopen() {
        MessageLog messages;
        CCombineTablesDlg dlg(file("Denseness.den"), file("Data"));
        QVERIFY(dlg.windowTitle().isEmpty());
        QCOMPARE(dlg.sourceTitle()->text(), QStringLiteral("Исходная таблица: нет..."));
        QVERIFY(dlg.massButton()->isChecked());
        QCOMPARE(dlg.rowsBox()->value(), 1);
        QCOMPARE(dlg.densities().size(), std::size_t(2));
        {
            gui::ScopedChromatogramBrowser browser(
                [&](int, QWidget*) { return std::vector<fs::path>{file("Data/газ.stg")}; });
            dlg.openSource();
        }
        QCOMPARE(dlg.sourceGrid()->rowCount(), 2);
        QCOMPARE(dlg.sourceTitle()->text(), QStringLiteral("Исходная таблица: газ.stg Проба 7"));
        QCOMPARE(cell(dlg.sourceGrid(), 1, kCompConcentration), QStringLiteral("20.000"));
        QCOMPARE(cell(dlg.sourceGrid(), 1, kCompTime), QStringLiteral("2.000"));
        QVERIFY(cell(dlg.sourceGrid(), 0, kCompDensity).isEmpty());
        dlg.addDensities();
        QCOMPARE(cell(dlg.sourceGrid(), 0, kCompDensity), QStringLiteral("0.668"));
        QCOMPARE(cell(dlg.sourceGrid(), 1, kCompDensity), QStringLiteral("1.260"));

        // Two rows typed, an empty one between them removed.
        dlg.rowsBox()->setValue(3);
        dlg.addRows();
        QCOMPARE(dlg.manualGrid()->rowCount(), 3);
        QCOMPARE(cell(dlg.manualGrid(), 2, kCompN), QStringLiteral("3"));
        setCell(dlg.manualGrid(), 0, kCompConcentration, QStringLiteral("15"));
        setCell(dlg.manualGrid(), 0, kCompDensity, QStringLiteral("1.165"));
        setCell(dlg.manualGrid(), 0, kCompComponent, QStringLiteral("Азот"));
        setCell(dlg.manualGrid(), 2, kCompConcentration, QStringLiteral("5"));
        setCell(dlg.manualGrid(), 2, kCompComponent, QStringLiteral("Кислород"));
        QCOMPARE(dlg.densities().at("Азот"), 1.165);  // the typed density joined the map
        dlg.removeEmpty();
        QCOMPARE(dlg.manualGrid()->rowCount(), 2);
        QCOMPARE(cell(dlg.manualGrid(), 1, kCompN), QStringLiteral("2"));

        // Mass asked for, oxygen has no density: named, volume kept.
        dlg.recalculate();
        QVERIFY(messages.saw(QStringLiteral("Нет плотности для: Кислород")));
        QCOMPARE(dlg.resultGrid()->rowCount(), 4);
        QCOMPARE(cell(dlg.resultGrid(), 0, kCompConcentration), QStringLiteral("48.000"));
        QCOMPARE(dlg.resultTitle()->text(), QStringLiteral("Итоговая таблица (объемные проценты)"));
        setCell(dlg.manualGrid(), 1, kCompDensity, QStringLiteral("1.331"));
        dlg.recalculate();
        QCOMPARE(dlg.resultTitle()->text(), QStringLiteral("Итоговая таблица"));
        const double d = 48 * 0.668 + 32 * 1.26 + 15 * 1.165 + 5 * 1.331;
        QCOMPARE(cell(dlg.resultGrid(), 0, kCompConcentration),
                 QString::fromStdString(formatCell(48 * 0.668 / d * 100)));
        dlg.volumeButton()->setChecked(true);
        dlg.recalculate();
        QCOMPARE(cell(dlg.resultGrid(), 1, kCompConcentration), QStringLiteral("32.000"));
        QCOMPARE(cell(dlg.resultGrid(), 3, kCompN), QStringLiteral("4"));
        QVERIFY(dlg.grab().save(QString::fromStdString((home() / "combine_tables.png").string())));

        // Saving: the manual table and the result; a result file not ".et" is refused.
        QString offered;
        {
            gui::ScopedFileChooser chooser([&](const gui::FileRequest& r) {
                offered = r.start;
                return QString::fromStdString(file("постоянные.et").string());
            });
            dlg.saveManual();
        }
        QCOMPARE(offered, QStringLiteral("постоянные_газы"));
        QCOMPARE(readEtTable(file("постоянные.et")).value(), dlg.manualTable());
        {
            gui::ScopedFileChooser chooser([&](const gui::FileRequest& r) {
                offered = r.start;
                return QString::fromStdString(file("итог.txt").string());
            });
            dlg.saveResult();
        }
        QCOMPARE(offered, QStringLiteral("Итоговая_таблица"));
        QVERIFY(messages.saw(QStringLiteral("только в файл с расширением")));
        QVERIFY(!fs::exists(file("итог.txt")));
        {
            gui::ScopedFileChooser chooser([&](const gui::FileRequest&) {
                return QString::fromStdString(file("итог.et").string());
            });
            dlg.saveResult();
        }
        QCOMPARE(readEtTable(file("итог.et")).value(), dlg.resultTable());

        // Reopening: a damaged file leaves table and title; the saved one reads back.
        {
            std::ofstream(file("битый.et"), std::ios::binary) << std::string("\x05\0\0\0\x01", 5);
            gui::ScopedFileChooser chooser([&](const gui::FileRequest&) {
                return QString::fromStdString(file("битый.et").string());
            });
            const int before = static_cast<int>(messages.texts.size());
            const QString title = dlg.manualTitle()->text();
            const CompositionTable manual = dlg.manualTable();
            dlg.openSecond();
            QVERIFY(static_cast<int>(messages.texts.size()) == before + 1);
            QVERIFY(messages.texts.last().contains(QStringLiteral("повреждён")));
            QCOMPARE(dlg.manualTitle()->text(), title);
            QCOMPARE(dlg.manualTable(), manual);
        }
        {
            gui::ScopedFileChooser chooser([&](const gui::FileRequest&) {
                return QString::fromStdString(file("итог.et").string());
            });
            dlg.openSecond();
        }
        QCOMPARE(dlg.manualGrid()->rowCount(), 4);
        QCOMPARE(
            dlg.manualTitle()->text(),
            QStringLiteral("Рукописный ввод (постоянные газы, объемные концентрации): итог.et"));
        // Cancel in the file dialog changes nothing.
        {
            gui::ScopedFileChooser chooser([&](const gui::FileRequest&) { return QString(); });
            dlg.openSecond();
        }
        QCOMPARE(dlg.manualGrid()->rowCount(), 4);

        dlg.saveDensities();
        const DensityMap saved = readDensityMap(file("Denseness.den")).value();
        QCOMPARE(saved.at("Азот"), 1.165);
        QCOMPARE(saved.at("Кислород"), 1.331);
    }

    void damagedDensityMapIsKeptUnlessConfirmed() {
        MessageLog messages;
        const fs::path den = file("damaged.den");
        std::ofstream(den, std::ios::binary) << std::string("\xff\xff\0\0abc", 7);
        CCombineTablesDlg dlg(den, file("Data"));
        QVERIFY(messages.saw(QStringLiteral("Карта плотностей не прочитана")));
        QVERIFY(dlg.densities().empty());
        messages.answers = {QMessageBox::No};
        dlg.saveDensities();
        QCOMPARE(fs::file_size(den), std::uintmax_t(7));
        messages.answers = {QMessageBox::Yes};
        dlg.saveDensities();
        QVERIFY(readDensityMap(den).value().empty());
        // A missing map is no damage: nothing to report.
        MessageLog quiet;
        CCombineTablesDlg fresh(file("нет.den"), file("Data"));
        QVERIFY(quiet.texts.isEmpty());
    }

    void densityTable() {
        MessageLog messages;
        const fs::path txt = file("density.txt");
        std::ofstream(txt, std::ios::binary) << "Metan\r\n0.668\r\nEtan\r\n1.26\r\n";
        {
            CDensityTableDlg dlg(txt);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Плотности веществ"));
            QCOMPARE(dlg.grid()->rowCount(), 2);
            QCOMPARE(cell(dlg.grid(), 1, 1), QStringLiteral("1.26"));
            dlg.addRow();
            setCell(dlg.grid(), 2, 0, QStringLiteral("Азот"));
            // A name without a density keeps the dialog open and the file as it was.
            QVERIFY(!dlg.exitAndSave());
            QVERIFY(messages.saw(QStringLiteral("Строка 3 (Азот)")));
            setCell(dlg.grid(), 2, 1, QStringLiteral("1,165"));
            dlg.grid()->setCurrentCell(0, 0);
            dlg.removeRow();
            dlg.addRow();  // left empty: not written
            dlg.show();
            QVERIFY(
                dlg.grab().save(QString::fromStdString((home() / "density_table.png").string())));
            QVERIFY(dlg.exitAndSave());
        }
        const auto rows = readDensityTable(txt).value();
        QCOMPARE(rows.size(), std::size_t(2));
        QCOMPARE(rows[0].name, std::string("Etan"));
        QCOMPARE(rows[1].name, std::string("Азот"));
        QCOMPARE(rows[1].density, 1.165);

        // Closing with changes asks; "Нет" drops them, "Отмена" stays.
        CDensityTableDlg dlg(txt);
        dlg.addRow();
        setCell(dlg.grid(), 2, 0, QStringLiteral("Гелий"));
        setCell(dlg.grid(), 2, 1, QStringLiteral("0.178"));
        messages.answers = {QMessageBox::Cancel, QMessageBox::No};
        dlg.show();
        dlg.reject();
        QVERIFY(dlg.isVisible());
        dlg.reject();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(readDensityTable(txt).value().size(), std::size_t(2));
    }
};

QTEST_MAIN(CombineTablesDlgTest)
#include "combine_tables_dlg_test.moc"
