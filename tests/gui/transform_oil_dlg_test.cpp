// The transformer-oil dialog over a database made here, driven as the
// operator would: a station and its point chosen, two analyses of one moment
// that must be merged before "Расчитать" is allowed, the tinted table, the
// diagnosis of the latest analysis with its growth and ratios, the figures
// cleared when another analysis is selected, the chart of the selected gas;
// then the gas-names editor with a stand-in component picker, and the
// options page that opens it. Pictures of both dialogs are left in the
// test's home folder.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "database/catalogue.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "gui/app/programm_setup_sheet.h"
#include "gui/calc/oil_gas_names_dlg.h"
#include "gui/calc/transform_oil_dlg.h"
#include "gui_test_support.h"

using namespace zelmora;
using zelmora::gui::COilGasNamesDlg;
using zelmora::gui::CTransformOilDlg;
namespace fs = std::filesystem;

namespace {

std::time_t localTime(int y, int mo, int d, int h = 12) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// Where the pictures go: the test's home folder (made when missing).
fs::path home() {
    const fs::path h = qEnvironmentVariableIsEmpty("ZELMORA_HOME")
                           ? fs::current_path()
                           : fs::path(qgetenv("ZELMORA_HOME").toStdString());
    std::error_code ec;
    fs::create_directories(h, ec);
    return h;
}

void addAnalysis(db::Connection& c, const char* station, const char* place, std::time_t date,
                 std::initializer_list<std::pair<const char*, double>> results) {
    db::AnalysisRow r;
    r.station = station;
    r.place = place;
    r.date = date;
    r.anDate = date + 60;
    const int key = db::CAnalysSet(c).add(r).value();
    db::CResultSet set(c);
    for (auto [name, value] : results)
        QVERIFY(set.add(key, name, value));
}

OilGasList gasList() {
    OilGasList g;
    for (std::size_t i = 0; i < kOilGasCount; ++i)
        g[i] = {kOilGasFormulas[i], kOilGasFormulas[i], 0};
    g[kOilH2].name = "Водород";
    g[kOilH2].boundary = 1;    // 1.2 at or above it, 0.8 above a tenth
    g[kOilCO].boundary = 100;  // 1 % of it: no tint
    return g;
}

}  // namespace

class TransformOilDlgTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::optional<db::Connection> db_;

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        auto c = db::createAnalysesDatabase(fs::path(dir_.path().toStdString()) / "Zelmora.db");
        QVERIFY2(c.ok(), c.message().c_str());
        db_.emplace(std::move(c).value());
        db::Connection& c0 = *db_;
        const int tp5 = db::addStation(c0, "ТП-5").value();
        const int grs = db::addStation(c0, "ГРС-1").value();
        QVERIFY(db::addPlace(c0, tp5, "Т1").ok());
        QVERIFY(db::addPlace(c0, tp5, "Т2").ok());
        QVERIFY(db::addPlace(c0, grs, "Выход").ok());
        QVERIFY(db::addParametr(c0, "Водород", "%", 0).ok());
        QVERIFY(db::addParametr(c0, "Метан", "%", 0).ok());
        // Three months of a transformer: a full analysis, then two columns of
        // one sample 30 days on, then 30 days more.
        addAnalysis(c0, "ТП-5", "Т1", localTime(2025, 1, 10),
                    {{"Водород", 0.8},
                     {"CO", 1},
                     {"CO2", 8},
                     {"CH4", 0.5},
                     {"C2H2", 0.0625},
                     {"C2H4", 1},
                     {"C2H6", 2}});
        addAnalysis(c0, "ТП-5", "Т1", localTime(2025, 2, 9),
                    {{"Водород", 1}, {"CO", 1}, {"CO2", 8}});
        addAnalysis(c0, "ТП-5", "Т1", localTime(2025, 2, 9),
                    {{"CH4", 0.5}, {"C2H2", 0.0625}, {"C2H4", 1}, {"C2H6", 2}});
        addAnalysis(c0, "ТП-5", "Т1", localTime(2025, 3, 11),
                    {{"Водород", 1.2},
                     {"CO", 1},
                     {"CO2", 8},
                     {"CH4", 0.5},
                     {"C2H2", 0.0625},
                     {"C2H4", 1},
                     {"C2H6", 2}});
        // Sampled after "today": not history yet.
        addAnalysis(c0, "ТП-5", "Т1", localTime(2025, 7, 1), {{"Водород", 50}});
    }

    void mergeCalculateAndChart() {
        guitest::MessageLog messages;
        CTransformOilDlg dlg(&*db_, gasList(), nullptr, [] { return localTime(2025, 6, 1); });
        // Stations by name, the first one's points.
        QCOMPARE(dlg.stationBox()->count(), 2);
        QCOMPARE(dlg.stationBox()->itemText(0), QStringLiteral("ГРС-1"));
        QCOMPARE(dlg.placeBox()->itemText(0), QStringLiteral("Выход"));
        QVERIFY(!dlg.mergeButton()->isEnabled());
        QVERIFY(!dlg.calculateButton()->isEnabled());
        QCOMPARE(dlg.ratioBox(0)->text(), QStringLiteral("?????"));
        QCOMPARE(dlg.chart()->xTitle(), QStringLiteral("дата анализа"));

        dlg.selectStation(1);
        QCOMPARE(dlg.placeBox()->count(), 2);
        dlg.loadPoint(0);
        QCOMPARE(dlg.table()->rowCount(), 4);
        QVERIFY(dlg.sameMoment());
        QVERIFY(dlg.mergeButton()->isEnabled());
        QVERIFY(!dlg.calculateButton()->isEnabled());
        QVERIFY(dlg.chart()->points().empty());
        QCOMPARE(dlg.table()->horizontalHeaderItem(1)->text(), QStringLiteral("Водород"));
        QCOMPARE(dlg.table()->item(0, 0)->text(), QStringLiteral("10.01.2025"));
        QCOMPARE(dlg.table()->item(0, 1)->text(), QStringLiteral("0.80000"));
        // H2 tints: 0.8 of its boundary, then at it; CO at a hundredth: white.
        QCOMPARE(dlg.table()->item(0, 1)->background().color(), QColor(255, 191, 191));
        QCOMPARE(dlg.table()->item(1, 1)->background().color(), QColor(255, 159, 159));
        QCOMPARE(dlg.table()->item(0, 2)->background().color(), QColor(Qt::white));
        // Boundaries left at 0 tint nothing.
        QCOMPARE(dlg.table()->item(3, 4)->background().color(), QColor(Qt::white));

        dlg.mergeButton()->click();
        QCOMPARE(dlg.table()->rowCount(), 3);
        QVERIFY(!dlg.mergeButton()->isEnabled());
        QVERIFY(dlg.calculateButton()->isEnabled());
        QCOMPARE(dlg.table()->item(1, 4)->text(), QStringLiteral("0.50000"));  // completed

        // The latest analysis is selected: H2 1 -> 1.2 in 30 days.
        QCOMPARE(dlg.table()->currentRow(), 2);
        QCOMPARE(dlg.chart()->points().size(), std::size_t(3));
        QCOMPARE(dlg.chart()->points()[1].days, 30.0);
        QCOMPARE(dlg.chart()->points()[2].days, 60.0);
        QCOMPARE(dlg.chart()->points()[2].value, 1.2);
        QCOMPARE(dlg.chart()->xTitle(), QStringLiteral("дата анализа: 11.03.2025"));
        QCOMPARE(dlg.chart()->yTitle(), QStringLiteral("количество: Водород"));
        dlg.calculateButton()->click();
        QVERIFY(dlg.diagnosis().has_value());
        QCOMPARE(dlg.growthBox(kOilH2)->text(), QStringLiteral("0.2000 %об/мес, 20.000%"));
        QCOMPARE(dlg.growthBox(kOilCO)->text(), QStringLiteral("0.0000 %об/мес, 0.000%"));
        QCOMPARE(dlg.ratioBox(0)->text(), QStringLiteral("0.06250"));
        QCOMPARE(dlg.ratioBox(1)->text(), QStringLiteral("0.41667"));
        QCOMPARE(dlg.ratioBox(3)->text(), QStringLiteral("8.00000"));
        QCOMPARE(dlg.diagnosisBox()->toPlainText(),
                 QStringLiteral("Норма - слудет планировать вывод трансформатора из работы"));
        const QString picture =
            QString::fromStdString((home() / "transform_oil_dialog.png").string());
        QVERIFY(dlg.grab().save(picture));

        // Another gas of the same analysis keeps the figures; another
        // analysis clears them.
        dlg.selectCell(2, 4);
        QVERIFY(dlg.diagnosis().has_value());
        QCOMPARE(dlg.chart()->yTitle(), QStringLiteral("количество: CH4"));
        dlg.selectCell(0, 1);
        QVERIFY(!dlg.diagnosis().has_value());
        QCOMPARE(dlg.ratioBox(1)->text(), QStringLiteral("?????"));
        QCOMPARE(dlg.growthBox(kOilH2)->text(), QStringLiteral("?????"));
        QVERIFY(dlg.diagnosisBox()->toPlainText().isEmpty());
        // The first analysis: no growth, six months.
        dlg.calculateButton()->click();
        QCOMPARE(dlg.diagnosisBox()->toPlainText(),
                 QStringLiteral("Норма - следующий анализ через 6 месяцев, 0 дней."));
        // The date column names no gas: an empty chart.
        dlg.selectCell(1, 0);
        QVERIFY(dlg.chart()->points().empty());

        // A station change disables both buttons until a point loads.
        dlg.selectStation(0);
        QVERIFY(!dlg.mergeButton()->isEnabled());
        QVERIFY(!dlg.calculateButton()->isEnabled());
        QVERIFY(messages.texts.isEmpty());
    }

    void allGasesBelowBoundaries() {
        OilGasList gases = gasList();
        for (OilGas& g : gases)
            g.boundary = 100;
        CTransformOilDlg dlg(&*db_, gases, nullptr, [] { return localTime(2025, 6, 1); });
        dlg.selectStation(1);
        dlg.loadPoint(0);
        dlg.mergeSameMoment();
        dlg.selectCell(2, 1);
        dlg.calculate();
        // H2 gains 5 × 0.0005 in under a day: the next analysis at once.
        QCOMPARE(dlg.diagnosisBox()->toPlainText(),
                 QStringLiteral("Норма - следующий анализ через 0 месяцев, 0 дней."));
        QVERIFY(dlg.ratioBox(0)->text().startsWith(QStringLiteral("не нужны")));
    }

    void gasNamesEditor() {
        OilGasList gases = gasList();
        std::string offered;
        COilGasNamesDlg::pickComponent = [&](const std::string& current,
                                             QWidget*) -> std::optional<std::string> {
            offered = current;
            return std::string("Метан");
        };
        COilGasNamesDlg dlg(gases);
        QTableWidget* grid = dlg.grid();
        QCOMPARE(grid->horizontalHeaderItem(2)->text(), QStringLiteral("Гр. концентрация"));
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("H2"));
        QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("1.00000"));
        QVERIFY(!(grid->item(3, 1)->flags() & Qt::ItemIsEditable));
        dlg.chooseName(3);
        QCOMPARE(offered, std::string("CH4"));
        QCOMPARE(grid->item(3, 1)->text(), QStringLiteral("Метан"));
        QCOMPARE(dlg.gases()[kOilCH4].name, std::string("Метан"));
        // Cancel in the picker keeps the name.
        COilGasNamesDlg::pickComponent = [](const std::string&, QWidget*) {
            return std::optional<std::string>();
        };
        dlg.chooseName(3);
        QCOMPARE(dlg.gases()[kOilCH4].name, std::string("Метан"));

        grid->item(5, 2)->setText(QStringLiteral("0,002"));
        QCOMPARE(dlg.gases()[kOilC2H4].boundary, 0.002);
        QCOMPARE(grid->item(5, 2)->text(), QStringLiteral("0.00200"));
        grid->item(5, 2)->setText(QStringLiteral("много"));
        QCOMPARE(dlg.gases()[kOilC2H4].boundary, 0.002);
        QCOMPARE(grid->item(5, 2)->text(), QStringLiteral("0.00200"));
        grid->item(5, 2)->setText(QStringLiteral("-1"));
        QCOMPARE(dlg.gases()[kOilC2H4].boundary, 0.002);
        dlg.show();
        QVERIFY(dlg.grab().save(QString::fromStdString((home() / "oil_gas_names.png").string())));
        COilGasNamesDlg::pickComponent = gui::pickDatabaseComponent;
    }

    void optionsPageOpensTheEditorWhenTicked() {
        ProgramOptions o;
        int opened = 0;
        gui::CProgrammSetupSheet::Hooks hooks;
        hooks.editOilGases = [&](const std::array<OilGas, 7>& gases) {
            ++opened;
            auto edited = gases;
            edited[kOilH2].name = "Водород";
            edited[kOilH2].boundary = 0.01;
            return std::optional<std::array<OilGas, 7>>(edited);
        };
        gui::CProgrammSetupSheet sheet(o, hooks);
        sheet.transformOil()->click();
        QCOMPARE(opened, 1);
        QVERIFY(sheet.result().transformOil);
        QCOMPARE(sheet.result().oilGases[kOilH2].name, std::string("Водород"));
        QCOMPARE(sheet.result().oilGases[kOilH2].boundary, 0.01);
        sheet.transformOil()->click();  // unticking opens nothing
        QCOMPARE(opened, 1);
        // "Отмена" in the editor keeps the list.
        hooks.editOilGases = [&](const std::array<OilGas, 7>&) {
            ++opened;
            return std::optional<std::array<OilGas, 7>>();
        };
        gui::CProgrammSetupSheet other(o, hooks);
        other.transformOil()->click();
        QCOMPARE(opened, 2);
        QCOMPARE(other.result().oilGases[kOilH2].name, std::string("H2"));
    }
};

QTEST_MAIN(TransformOilDlgTest)
#include "transform_oil_dlg_test.moc"
