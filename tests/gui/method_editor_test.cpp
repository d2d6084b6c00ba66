// The method editor driven as an operator drives it: a new method edited on
// every page, saved and read back field by field; Cancel writing nothing;
// the saving rule of each access level; the component table's edits; the
// method chooser listing, describing and deleting; the calibration dialog
// over levels added from calibration chromatograms, whose coefficients must
// equal those of zelmora-cli calibrate on the same files. Every page and
// the calibration dialog are drawn into PNG files beside the test.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/program_settings.h"
#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/document/child_frame.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/method/calibration_dlg.h"
#include "gui/method/method_chooser.h"
#include "gui/method/method_sheet_dlg.h"
#include "gui/method/modal_runner.h"
#include "gui/method/mtd_capture.h"
#include "gui/method/mtd_components.h"
#include "gui/method/mtd_dop_calc.h"
#include "gui/method/mtd_filtering_pg.h"
#include "gui/method/mtd_info_pg.h"
#include "gui/method/mtd_peek_group_pg.h"
#include "gui/method/mtd_peeks_pg.h"
#include "gui/method/mtd_report.h"
#include "gui/number_edit.h"
#include "gui_test_support.h"
#include "method/method_file.h"
#include "processing/calibration.h"
#include "processing/chromatogram_processing.h"

namespace fs = std::filesystem;
using namespace zelmora;
using namespace zelmora::gui;
using zelmora::guitest::MessageLog;

namespace {

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Method readMethodAt(const fs::path& p) {
    Method m;
    const Result<int> r = readMethodFile(readBytes(p), m);
    if (!r)
        qWarning("%s: %s", p.string().c_str(), r.message().c_str());
    return m;
}

void setAccessLevel(int level) {
    CProgramSettings::instance().update([&](ProgramOptions& o) { o.accessLevel = level; });
}

void savePicture(QWidget& w, const QString& name) {
    QVERIFY(w.grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/") + name));
}

void click(QAbstractButton* b) {
    QVERIFY(b->isEnabled());
    b->click();
}

}  // namespace

class MethodEditorTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    fs::path methods_;

    fs::path methodFile(const std::string& name) const { return methods_ / (name + ".mtd"); }

  private slots:
    void initTestCase() {
        methods_ = fs::path(dir_.path().toStdString()) / "Методы";
        fs::create_directories(methods_);
        CProgramSettings::instance().update([&](ProgramOptions& o) {
            o.methodPath = methods_.string();
            o.checkViewNoMethod = true;
            o.autoGenerateMethod = false;
            o.accessLevel = 2;
        });
    }

    void newMethodEditedOnEveryPageIsSavedAndReadBack() {
        MessageLog log;
        log.fallback = QMessageBox::Cancel;  // keep the programme time as it is
        ScopedFileChooser chooser([&](const FileRequest& r) {
            return r.save ? QString::fromStdString(methodFile("Новый").string()) : QString();
        });
        CMethodSheet sheet;
        CMethodSheetDlg dlg(sheet, 2);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Метод"));
        QCOMPARE(dlg.tabs()->count(), 8);
        QVERIFY(!dlg.okButton()->isDefault());

        dlg.infoPage()->description()->setText(QStringLiteral("Нефтяной газ"));
        dlg.infoPage()->comment()->setPlainText(QStringLiteral("Колонка 2 м\nдетектор ДТП"));

        QVERIFY(dlg.showPage(CMethodSheetDlg::kCapture));
        CMtdCapture* capture = dlg.capturePage();
        capture->analysisTime()->setText(QStringLiteral("45"));
        capture->samplingRate()->setText(QStringLiteral("12,5"));
        click(capture->passportKinds()->button(0));
        QVERIFY(!capture->folder()->isEnabled());
        capture->saveToFolder()->setChecked(true);
        QVERIFY(capture->folder()->isEnabled());
        capture->folder()->setText(QStringLiteral("/data/хроматограммы"));
        QVERIFY(!capture->displayMaximum()->isEnabled());
        capture->fixedBounds()->setChecked(true);
        QVERIFY(capture->displayMaximum()->isEnabled());
        capture->displayMaximum()->setText(QStringLiteral("100"));
        capture->displayMinimum()->setText(QStringLiteral("-5"));
        QVERIFY(!capture->editButton(CMtdCapture::kKalderRow)->isEnabled());
        QVERIFY(!capture->deleteButton(CMtdCapture::kEhdRow)->isEnabled());
        click(capture->createButton(CMtdCapture::kKalderRow));
        QVERIFY(
            !capture->createButton(CMtdCapture::kSovantRow)->isEnabled());  // one block for both
        QVERIFY(capture->deleteButton(CMtdCapture::kSovantRow)->isEnabled());
        click(capture->createButton(CMtdCapture::kEhdRow));
        QVERIFY(capture->marker(CMtdCapture::kEhdRow)->isVisibleTo(capture));

        QVERIFY(dlg.showPage(CMethodSheetDlg::kFiltering));
        click(dlg.filteringPage()->kinds()->button(3));
        QVERIFY(!dlg.filteringPage()->threshold()->isEnabled());
        dlg.filteringPage()->window()->setText(QStringLiteral("2.5"));

        QVERIFY(dlg.showPage(CMethodSheetDlg::kMarking));
        CMtdPeeksPg* marking = dlg.markingPage();
        marking->field(CMtdPeeksPg::kMinHeight)->setText(QStringLiteral("0.05"));
        marking->field(CMtdPeeksPg::kMarkingStart)->setText(QStringLiteral("0.5"));
        marking->field(CMtdPeeksPg::kMaxCommonBaselineDistance)->setText(QStringLiteral("-2"));
        marking->editEvents = [](std::vector<PeakEvent>& events) {
            events.push_back({0, 3.0, 0, 0});
            events.push_back({1, 4.0, 0, 0});
        };
        click(marking->eventsButton());

        QVERIFY(dlg.showPage(CMethodSheetDlg::kComponents));
        CMtdComponents* components = dlg.componentsPage();
        QVERIFY(!components->deleteButton()->isEnabled());
        QVERIFY(!components->deleteAll());  // nothing to delete
        components->addComponent();
        QVERIFY(components->renameComponent(0, QStringLiteral("Этан")));
        QVERIFY(components->editCell(0, CMtdComponents::kTime, QStringLiteral("2.5")));
        components->addComponent();
        QCOMPARE(components->table()->currentRow(), 1);
        QCOMPARE(components->table()->currentColumn(), int(CMtdComponents::kName));
        QVERIFY(!components->renameComponent(1, QStringLiteral("ЭТАН")));  // beeps
        QVERIFY(components->renameComponent(1, QStringLiteral("Метан")));
        QVERIFY(components->editCell(1, CMtdComponents::kTime, QStringLiteral("1,25")));
        QVERIFY(components->editCell(1, CMtdComponents::kWindow, QStringLiteral("-3")));
        QCOMPARE(components->table()->item(1, CMtdComponents::kWindow)->text(),
                 QStringLiteral("3"));
        QVERIFY(!components->editCell(1, CMtdComponents::kIndex, QStringLiteral("inf")));
        QCOMPARE(components->table()->item(1, CMtdComponents::kIndex)->text(),
                 QStringLiteral("100"));
        QVERIFY(!components->referenceIdentification()->isEnabled());
        components->toggleReference(0);
        QCOMPARE(components->table()->item(0, CMtdComponents::kReference)->text(),
                 QStringLiteral("Да"));
        QVERIFY(components->referenceIdentification()->isEnabled());
        components->referenceIdentification()->setCurrentIndex(2);
        QVERIFY(!components->standards()->isEnabled());
        components->kinds()->setCurrentIndex(2);
        QVERIFY(components->standards()->isEnabled());
        components->standards()->setCurrentText(QStringLiteral("Метан"));
        components->responses()->setCurrentIndex(1);
        components->identification()->setCurrentIndex(1);
        components->mainByDifference()->setChecked(true);
        components->mainSubstance()->setText(QStringLiteral("Метан"));
        components->deadTime()->setText(QStringLiteral("0.3"));
        components->kinds()->setCurrentIndex(4);
        QVERIFY(!components->calibrationButton()->isEnabled());  // "Простая нормировка"
        QVERIFY(!components->standards()->isEnabled());
        components->kinds()->setCurrentIndex(2);

        QCOMPARE(sheet.method().calculation.components[0].name, std::string("Этан"));
        // Opening the page again sorts the table by retention time.
        QVERIFY(dlg.showPage(CMethodSheetDlg::kInfo));
        QVERIFY(dlg.showPage(CMethodSheetDlg::kComponents));
        QCOMPARE(sheet.method().calculation.components[0].name, std::string("Метан"));
        QCOMPARE(components->table()->item(0, CMtdComponents::kName)->text(),
                 QStringLiteral("Метан"));
        QVERIFY(dlg.showPage(CMethodSheetDlg::kReport));
        CMtdReport* report = dlg.reportPage();
        QCOMPARE(report->calibrationComponents()->count(), 2);
        QVERIFY(!report->calibrationComponents()->isEnabled());
        report->section(0)->setChecked(false);
        click(report->chartSizes()->button(2));
        report->labelTime()->setChecked(true);
        report->groups()->setChecked(true);
        report->calibration()->setChecked(true);
        QVERIFY(report->calibrationComponents()->isEnabled());
        report->calibrationComponents()->item(1)->setSelected(true);
        report->autoPrint()->setChecked(true);
        click(report->orientations()->button(0));

        QVERIFY(dlg.showPage(CMethodSheetDlg::kExtra));
        click(dlg.extraPage()->kinds()->button(1));

        QVERIFY(dlg.showPage(CMethodSheetDlg::kGroups));
        CMtdPeekGroupPg* groups = dlg.groupsPage();
        QCOMPARE(groups->components()->count(), 2);
        groups->components()->setCurrentText(QStringLiteral("Этан"));
        groups->groupNames()->setEditText(QStringLiteral("Лёгкие"));
        QVERIFY(groups->addPair());
        QVERIFY(!groups->addPair());  // the component has its pair
        groups->components()->setCurrentText(QStringLiteral("Метан"));
        QVERIFY(groups->addPair());
        QCOMPARE(groups->pairs()->rowCount(), 2);

        dlg.pressOk();
        // The new method asked for a name, so OK ends as after "Записать как".
        QCOMPARE(dlg.result(), int(MethodSheetResult::SavedAs));
        QVERIFY(log.saw(QStringLiteral("Увеличить время температурной программы")));
        QCOMPARE(sheet.name(), std::string("Новый"));

        Method expected;
        expected.info = {"Нефтяной газ", "Колонка 2 м\nдетектор ДТП"};
        expected.capture = {45.0f, 12.5f, 0, true, "/data/хроматограммы", true, 100.0f, -5.0f};
        expected.filter = {3, 0.1f, 2.5f};
        expected.marking.MinHeight = 0.05f;
        expected.marking.MarkingStart = 0.5f;
        expected.marking.MaxCommonBaselineDistance = -2.0f;
        expected.marking.events = {{0, 3.0, 0, 0}, {1, 4.0, 0, 0}};
        CalculationSettings& c = expected.calculation;
        c.kind = 2;
        c.response = 1;
        c.standard = "Метан";
        c.referenceIdentification = 2;
        c.mainByDifference = true;
        c.mainSubstance = "Метан";
        c.identification = 1;
        c.deadTime = 0.3;
        MethodComponent methane, ethane;
        methane.name = "Метан";
        methane.retentionTime = 1.25;
        methane.window = 3;
        ethane.name = "Этан";
        ethane.retentionTime = 2.5;
        ethane.reference = true;
        c.components = {methane, ethane};
        FitAllComponents(c);  // what the changes of kind and standard did
        expected.report.sections[0] = false;
        expected.report.chartSize = 2;
        expected.report.labelTime = true;
        expected.report.groups = true;
        expected.report.calibration = true;
        expected.report.calibrationComponents = {{"Метан", false}, {"Этан", true}};
        expected.report.autoPrint = true;
        expected.report.orientation = 0;
        expected.extra.kind = 1;
        expected.groups = {{"Этан", "Лёгкие"}, {"Метан", "Лёгкие"}};
        expected.kalder.emplace();
        expected.ehd.emplace();

        CMethodSheet reopened;
        QVERIFY(reopened.ReadMethod("Новый"));
        QVERIFY(reopened.method().calculation == expected.calculation);
        QVERIFY(reopened.method().report == expected.report);
        QVERIFY(reopened.method().capture == expected.capture);
        QVERIFY(reopened.method().marking == expected.marking);
        QVERIFY(reopened.method() == expected);

        // The sheet on the method read back shows what was entered.
        CMethodSheetDlg again(reopened, 2);
        QCOMPARE(again.windowTitle(), QStringLiteral("Метод Новый"));
        QCOMPARE(again.capturePage()->samplingRate()->text(), QStringLiteral("12.5"));
        QVERIFY(again.capturePage()->editButton(CMtdCapture::kEhdRow)->isEnabled() ==
                false);  // no detector settings window in this program yet
        QVERIFY(again.capturePage()->deleteButton(CMtdCapture::kEhdRow)->isEnabled());
        QCOMPARE(again.componentsPage()->kinds()->currentIndex(), 2);
        QCOMPARE(again.componentsPage()->standards()->currentText(), QStringLiteral("Метан"));
        QVERIFY(again.componentsPage()->calibrationButton()->isEnabled());

        // Every page drawn, for people to look at.
        again.resize(760, 560);
        const char* names[] = {"info",       "capture", "filtering", "marking",
                               "components", "report",  "extra",     "groups"};
        for (int page = 0; page < 8; ++page) {
            QVERIFY(again.showPage(page));
            savePicture(again, QStringLiteral("method_sheet_%1_%2.png").arg(page).arg(names[page]));
        }
        again.pressCancel();
        QCOMPARE(again.result(), int(MethodSheetResult::Cancelled));
    }

    void valuesOutOfRangeKeepThePageOpen() {
        MessageLog log;
        CMethodSheet sheet;
        CMethodSheetDlg dlg(sheet, 5);
        QVERIFY(dlg.showPage(CMethodSheetDlg::kCapture));
        dlg.capturePage()->samplingRate()->setText(QStringLiteral("0"));
        QVERIFY(!dlg.showPage(CMethodSheetDlg::kFiltering));  // a rate of 0 is refused
        QVERIFY(log.saw(QStringLiteral("Выборка должна быть больше 0")));
        QCOMPARE(dlg.tabs()->currentIndex(), int(CMethodSheetDlg::kCapture));
        dlg.capturePage()->samplingRate()->setText(QStringLiteral("20"));
        dlg.capturePage()->analysisTime()->setText(QStringLiteral("nan"));
        dlg.pressOk();
        QCOMPARE(dlg.result(), 0);  // still open, nothing asked for a name
        QVERIFY(log.saw(QStringLiteral("Введите число от 0 до 3000.")));
        dlg.capturePage()->analysisTime()->setText(QStringLiteral("3000.5"));
        QVERIFY(!dlg.takeCurrentPage());
        dlg.capturePage()->analysisTime()->setText(QStringLiteral("3000"));
        QVERIFY(dlg.showPage(CMethodSheetDlg::kMarking));
        dlg.markingPage()->field(CMtdPeeksPg::kMarkingStart)->setText(QStringLiteral("241"));
        QVERIFY(!dlg.showPage(CMethodSheetDlg::kInfo));
        QVERIFY(sheet.method().capture.analysisTime == 3000.0f);
    }

    void cancelWritesNothingAndSavingFollowsTheAccessLevel() {
        QVERIFY(zelmora::guitest::writeDemoMethod("Газ"));
        const fs::path file = methodFile("Газ");
        const std::string original = readBytes(file);
        auto edited = [](CMethodSheetDlg& dlg) {
            dlg.infoPage()->description()->setText(QStringLiteral("изменено"));
        };

        {  // Cancel and Escape at a level that may save
            MessageLog log;
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 5);
            edited(dlg);
            dlg.pressCancel();
            QCOMPARE(dlg.result(), int(MethodSheetResult::Cancelled));
            CMethodSheetDlg esc(sheet, 5);
            edited(esc);
            QTest::keyClick(&esc, Qt::Key_Escape);
            QCOMPARE(esc.result(), int(MethodSheetResult::Cancelled));
            QVERIFY(log.texts.isEmpty());
            QVERIFY(readBytes(file) == original);
        }
        {  // "Начинающий": neither OK nor "Записать как"
            MessageLog log;
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 0);
            QVERIFY(!dlg.okButton()->isEnabled());
            QVERIFY(!dlg.saveAsButton()->isEnabled());
            QVERIFY(!dlg.saveAs());
            edited(dlg);
            dlg.pressOk();
            QVERIFY(log.saw(QStringLiteral(
                "Ваш уровень доступа \"Начинающий\" не позволяет вам сохранять метод")));
            QCOMPARE(dlg.result(), int(MethodSheetResult::Cancelled));
            QVERIFY(readBytes(file) == original);
        }
        {  // "Опытный" answering no: nothing written
            MessageLog log;
            log.answers = {QMessageBox::No};
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 1);
            edited(dlg);
            dlg.pressOk();
            QCOMPARE(log.texts, QStringList{QStringLiteral("Сохранить метод?")});
            QCOMPARE(dlg.result(), int(MethodSheetResult::Cancelled));
            QVERIFY(readBytes(file) == original);
        }
        {  // ... after "Записать как" the sheet still ends with 12321
            MessageLog log;
            log.answers = {QMessageBox::No};
            ScopedFileChooser chooser([&](const FileRequest&) {
                return QString::fromStdString(methodFile("Газ-2").string());
            });
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 1);
            edited(dlg);
            QVERIFY(dlg.saveAs());
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Метод Газ-2"));
            QCOMPARE(dlg.result(), 0);  // the sheet stays open
            dlg.infoPage()->description()->setText(QStringLiteral("ещё раз"));
            dlg.pressOk();
            QCOMPARE(dlg.result(), int(MethodSheetResult::SavedAs));
            QCOMPARE(readMethodAt(methodFile("Газ-2")).info.description, std::string("изменено"));
            QVERIFY(readBytes(file) == original);
        }
        {  // ... and answering yes
            MessageLog log;
            log.answers = {QMessageBox::Yes};
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 1);
            edited(dlg);
            dlg.pressOk();
            QCOMPARE(dlg.result(), int(MethodSheetResult::Ok));
            QCOMPARE(readMethodAt(file).info.description, std::string("изменено"));
        }
        {  // "Специалист" and above save without a question
            MessageLog log;
            CMethodSheet sheet;
            QVERIFY(sheet.ReadMethod("Газ"));
            CMethodSheetDlg dlg(sheet, 2);
            dlg.infoPage()->description()->setText(QStringLiteral("специалист"));
            dlg.pressOk();
            QCOMPARE(dlg.result(), int(MethodSheetResult::Ok));
            QVERIFY(log.texts.isEmpty());
            QCOMPARE(readMethodAt(file).info.description, std::string("специалист"));
        }
    }

    void programmeTimeQuestionsAreTheSheetsMessageBoxes() {
        MessageLog log;
        log.answers = {QMessageBox::Ok};
        ScopedFileChooser chooser([&](const FileRequest&) {
            return QString::fromStdString(methodFile("Программа").string());
        });
        CMethodSheet sheet;
        sheet.method().kalder.emplace();
        sheet.method().kalder->programIsotherm[0] = 50;  // the column programme runs 50 min
        CMethodSheetDlg dlg(sheet, 3);
        QVERIFY(dlg.showPage(CMethodSheetDlg::kCapture));
        QVERIFY(dlg.saveAs());
        QVERIFY(log.saw(QStringLiteral("Увеличить время метода?")));
        QCOMPARE(log.captions.front(), QStringLiteral("Предупреждение"));
        QCOMPARE(dlg.capturePage()->analysisTime()->text(), QStringLiteral("50"));
        QCOMPARE(readMethodAt(methodFile("Программа")).capture.analysisTime, 50.0f);
        dlg.pressOk();  // the page's 50 stands: no question this time
        QCOMPARE(log.texts.size(), 1);
        QCOMPARE(dlg.result(), int(MethodSheetResult::SavedAs));
    }

    void extraKindTwoIsKeptAndEmptyTablesStayQuiet() {
        Method m = demoMethod();
        m.extra.kind = 2;
        m.calculation.components.clear();
        CMethodSheet writer;
        writer.method() = m;
        QVERIFY(writer.WriteMethod("Теплопроводность"));

        CMethodSheet sheet;
        QVERIFY(sheet.ReadMethod("Теплопроводность"));
        CMethodSheetDlg dlg(sheet, 2);
        dlg.pressOk();
        QCOMPARE(readMethodAt(methodFile("Теплопроводность")).extra.kind, 2);

        CMethodSheet shown;
        QVERIFY(shown.ReadMethod("Теплопроводность"));
        CMethodSheetDlg dlg2(shown, 2);
        QVERIFY(dlg2.showPage(CMethodSheetDlg::kExtra));
        QCOMPARE(dlg2.extraPage()->kinds()->checkedId(), 2);
        QVERIFY(dlg2.showPage(CMethodSheetDlg::kComponents));
        QVERIFY(!dlg2.componentsPage()->deleteCurrent());  // "Удалить" on an empty table
        QVERIFY(!dlg2.componentsPage()->calibrationButton()->isEnabled());
        QVERIFY(dlg2.showPage(CMethodSheetDlg::kExtra));
        dlg2.pressOk();
        QCOMPARE(readMethodAt(methodFile("Теплопроводность")).extra.kind, 2);
    }

    void chooserListsDescribesAndDeletes() {
        const fs::path folder = fs::path(dir_.path().toStdString()) / "Выбор";
        fs::create_directories(folder);
        Method m;
        m.info.description = "Трансформаторное масло";
        m.kalder.emplace();
        m.ehd.emplace();
        std::ofstream(folder / "Масло.mtd", std::ios::binary) << writeMethodFile(m);
        std::ofstream(folder / "Битый.mtd", std::ios::binary) << "\x83\x45\x39\x5c\x39";
        std::ofstream(folder / "Пустой.mtd", std::ios::binary) << writeMethodFile(Method{});

        MessageLog log;
        CMethodChooserDlg dlg(folder, "масло", 1, CMethodChooserDlg::Purpose::Run);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Выбор метода"));
        QCOMPARE(dlg.list()->count(), 3);
        QCOMPARE(dlg.nameEdit()->text(), QStringLiteral("Масло"));
        QCOMPARE(dlg.description()->text(), QStringLiteral("Трансформаторное масло"));
        QCOMPARE(dlg.instruments()->count(), 2);
        QCOMPARE(dlg.instruments()->item(0)->text(), QStringLiteral("Zelmora Kalder"));
        QCOMPARE(dlg.instruments()->item(1)->text(), QStringLiteral("ЭХД+КД"));
        QVERIFY(dlg.selectMethod(QStringLiteral("Битый")));
        QVERIFY(dlg.description()->text().startsWith(QStringLiteral("????")));
        QCOMPARE(dlg.instruments()->count(), 0);
        QVERIFY(log.texts.isEmpty());  // a damaged file is described, not announced
        dlg.nameEdit()->setText(QStringLiteral("Нет такого"));
        dlg.nameTyped();
        QVERIFY(dlg.nameEdit()->text().isEmpty());
        QVERIFY(dlg.description()->text().isEmpty());
        QCOMPARE(dlg.list()->currentRow(), -1);
        QVERIFY(!dlg.repetitionsBox()->isHidden());
        QCOMPARE(dlg.repetitionsBox()->minimum(), 1);
        QCOMPARE(dlg.repetitionsBox()->maximum(), 100);
        QCOMPARE(dlg.repetitions(), 1);
        QVERIFY(dlg.useInstrumentSettings());
        QVERIFY(dlg.selectMethod(QStringLiteral("Масло")));
        dlg.resize(620, 320);
        savePicture(dlg, QStringLiteral("method_chooser.png"));

        QVERIFY(dlg.selectMethod(QStringLiteral("Битый")));
        log.answers = {QMessageBox::No, QMessageBox::Yes};
        QVERIFY(!dlg.deleteSelected());
        QVERIFY(fs::exists(folder / "Битый.mtd"));
        QVERIFY(dlg.deleteSelected());
        QVERIFY(!fs::exists(folder / "Битый.mtd"));
        QCOMPARE(log.texts.count(QStringLiteral("Вы действительно хотите удалить метод?")), 2);
        QCOMPARE(dlg.list()->count(), 2);

        CMethodChooserDlg beginner(folder, "", 0, CMethodChooserDlg::Purpose::Open);
        QVERIFY(beginner.repetitionsBox()->isHidden());
        QVERIFY(beginner.instrumentSettingsBox()->isHidden());
        QVERIFY(!beginner.deleteButton()->isEnabled());
        QVERIFY(beginner.selectMethod(QStringLiteral("Пустой")));
        QVERIFY(!beginner.deleteSelected());
        QVERIFY(log.saw(QStringLiteral("не позволяет вам удалять методы")));
        QVERIFY(fs::exists(folder / "Пустой.mtd"));

        // The function a recording channel calls.
        CProgramSettings::instance().update(
            [&](ProgramOptions& o) { o.methodPath = folder.string(); });
        ScopedModalRunner runner([](QDialog& d) {
            auto& chooser = static_cast<CMethodChooserDlg&>(d);
            chooser.repetitionsBox()->setValue(3);
            chooser.instrumentSettingsBox()->setChecked(false);
            chooser.accept();
            return chooser.result();
        });
        const std::optional<MethodRunChoice> run = chooseMethodForRun(nullptr, "Пустой");
        QVERIFY(run.has_value());
        QCOMPARE(run->name, std::string("Пустой"));
        QCOMPARE(run->repetitions, 3);
        QVERIFY(!run->useInstrumentSettings);
        QCOMPARE(chooseMethod(nullptr, "масло"), std::optional<std::string>("Масло"));
        CProgramSettings::instance().update(
            [&](ProgramOptions& o) { o.methodPath = methods_.string(); });
    }

    void methodMenuOpensTheChosenMethod() {
        setAccessLevel(2);
        QVERIFY(zelmora::guitest::writeDemoMethod("Меню"));
        CMainFrame frame;
        const CommandEntry* open = findCommand(command::kMethodOpen);
        QVERIFY(open != nullptr && open->run != nullptr);
        QVERIFY(isCommandEnabled(*open, {&frame, nullptr, nullptr}));
        int dialogs = 0;
        ScopedModalRunner runner([&](QDialog& d) {
            ++dialogs;
            if (auto* chooser = qobject_cast<CMethodChooserDlg*>(&d)) {
                chooser->selectMethod(QStringLiteral("Меню"));
                chooser->accept();
                return chooser->result();
            }
            auto* sheet = qobject_cast<CMethodSheetDlg*>(&d);
            if (sheet == nullptr)
                return int(QDialog::Rejected);
            sheet->infoPage()->description()->setText(QStringLiteral("из меню"));
            sheet->pressOk();
            return sheet->result();
        });
        QVERIFY(runCommand(*open, {&frame, nullptr, nullptr}));
        QCOMPARE(dialogs, 2);
        QCOMPARE(readMethodAt(methodFile("Меню")).info.description, std::string("из меню"));
    }

    void calibrationFromChromatogramsEqualsTheCommandLine() {
        setAccessLevel(2);
        const fs::path work = fs::path(dir_.path().toStdString()) / "Калибровка";
        fs::create_directories(work);
        Method m = demoMethod();
        m.calculation.kind = 0;  // absolute calibration, classic
        m.calculation.response = 1;
        CMethodSheet writer;
        writer.method() = m;
        QVERIFY(writer.WriteMethod("Калибр"));
        fs::copy_file(methodFile("Калибр"), work / "Калибр.mtd");
        installFolderMethodLoader();

        // Two calibration chromatograms of known amounts, an hour apart.
        CMainFrame frame;
        std::vector<fs::path> files;
        for (int level = 0; level < 2; ++level) {
            const fs::path raw = work / QString("raw%1.stg").arg(level).toStdString();
            CZelmoraDoc doc;
            fillDemoDocument(doc, "Калибр", 1'796'817'600 + 3600 * level);
            // The second mixture is 1.8 times as concentrated as the first.
            for (float& v : doc.signal.samples)
                v *= static_cast<float>(1.0 + 0.8 * level);
            RecordingMessageSink sink;
            QVERIFY(doc.Write(raw, sink, false).ok());
            CChildFrame* child = frame.openDocument(raw);
            QVERIFY(child != nullptr);
            CZelmoraDoc& d = child->document();
            QVERIFY(ProcessChromatogram(d).identified);
            d.passport.calibration = 1;
            int k = 0;
            for (Peak& p : d.peaks.peaks)
                if (!p.componentName.empty())
                    p.concentration = (level + 1) * (10.0 + 5 * k++);
            QVERIFY(k >= 3);
            files.push_back(work / QString("cal%1.stg").arg(level).toStdString());
            QVERIFY(child->saveTo(files.back()));
            child->setCloseConfirmed(true);
            child->close();
        }

        // The command line on a copy of the method.
        QProcess cli;
        QStringList args{QStringLiteral("calibrate"),
                         QString::fromStdString((work / "Калибр.mtd").string())};
        for (const fs::path& f : files)
            args << QString::fromStdString(f.string());
        cli.start(QStringLiteral(ZELMORA_CLI_BINARY), args);
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        const Method byCli = readMethodAt(work / "Калибр.mtd");

        // The same chromatograms through "+ Точка градуировки" of their windows.
        QString shownStatistics;
        for (const fs::path& f : files) {
            CChildFrame* child = frame.openDocument(f);
            QVERIFY(child != nullptr);
            const CommandTarget target{&frame, child, child->view()};
            const CommandEntry* add = findCommand(command::kAddCalibrationLevel);
            QVERIFY(add != nullptr && add->run != nullptr);
            QVERIFY(isCommandEnabled(*add, target));
            QVERIFY(isCommandEnabled(*findCommand(command::kChromatogramMethod), target));
            const bool last = f == files.back();
            // What the operator saw, checked once the sheet is closed.
            int sheetPage = -1, levelsShown = -1, rowsShown = -1, rowsAfterAdd = -1;
            bool curveFormShown = true, wordRefused = false, levelDeleted = false,
                 calibrationOpened = false;
            double k1Before = 0, k1After = -1;
            child->prompts().runDialog = [&](QDialog& d) -> int {
                auto* sheet = qobject_cast<CMethodSheetDlg*>(&d);
                if (sheet == nullptr)
                    return QDialog::Rejected;
                sheetPage = sheet->tabs()->currentIndex();
                if (last) {
                    CMtdComponents* page = sheet->componentsPage();
                    levelsShown = page->levels()->text().toInt();
                    page->table()->setCurrentCell(1, 0);
                    const auto& comps = sheet->sheet().method().calculation.components;
                    ScopedModalRunner runner([&](QDialog& c) -> int {
                        auto& cal = static_cast<CCalibrationDlg&>(c);
                        rowsShown = cal.levels()->rowCount();
                        curveFormShown = cal.curveForms()->isVisibleTo(&cal);  // classic: Y = k1 X
                        shownStatistics = cal.statistics()->text();
                        // An added empty level and its removal change no coefficient.
                        k1Before = comps[1].k1;
                        cal.addLevel();
                        rowsAfterAdd = cal.levels()->rowCount();
                        wordRefused =
                            !cal.editLevel(2, CCalibrationDlg::kAmount, QStringLiteral("много"));
                        levelDeleted = cal.deleteSelectedLevel();
                        k1After = comps[1].k1;
                        cal.levels()->setCurrentCell(1, 0);
                        cal.resize(900, 520);
                        cal.grab().save(
                            QStringLiteral(QT_TESTCASE_BUILDDIR "/calibration_dialog.png"));
                        cal.accept();
                        return cal.result();
                    });
                    calibrationOpened = page->openCalibration();
                }
                sheet->pressOk();
                return sheet->result();
            };
            QVERIFY(runCommand(*add, target));
            QCOMPARE(sheetPage, int(CMethodSheetDlg::kComponents));
            if (last) {
                QVERIFY(calibrationOpened);
                QCOMPARE(levelsShown, 2);
                QCOMPARE(rowsShown, 2);
                QVERIFY(!curveFormShown);
                QCOMPARE(rowsAfterAdd, 3);
                QVERIFY(wordRefused);
                QVERIFY(levelDeleted);
                QCOMPARE(k1After, k1Before);
            }
            child->setCloseConfirmed(true);
            child->close();
        }
        const Method byGui = readMethodAt(methodFile("Калибр"));
        QVERIFY(shownStatistics.startsWith(QStringLiteral("ОСКО=")));
        QCOMPARE(byGui.calculation.components.size(), byCli.calculation.components.size());
        for (std::size_t i = 0; i < byGui.calculation.components.size(); ++i) {
            const MethodComponent& g = byGui.calculation.components[i];
            const MethodComponent& c = byCli.calculation.components[i];
            QCOMPARE(g.name, c.name);
            QCOMPARE(g.points.size(), std::size_t(2));
            QCOMPARE(g.k0, c.k0);
            QCOMPARE(g.k1, c.k1);
            QCOMPARE(g.k2, c.k2);
            QCOMPARE(g.k3, c.k3);
            QVERIFY(g.points == c.points);
            QVERIFY(g.k1 > 0);
        }
    }

    void chromatogramWindowShowsItsMethodAndAddsComponents() {
        setAccessLevel(2);
        installFolderMethodLoader();
        CMethodSheet writer;
        writer.method() = demoMethod();
        QVERIFY(writer.WriteMethod("Пики"));
        const fs::path raw = fs::path(dir_.path().toStdString()) / "пики.stg";
        QVERIFY(zelmora::guitest::writeChromatogram(raw, "Пики"));
        CMainFrame frame;
        CChildFrame* child = frame.openDocument(raw);
        QVERIFY(child != nullptr);
        CZelmoraDoc& doc = child->document();
        QVERIFY(ProcessChromatogram(doc).identified);
        const CommandTarget target{&frame, child, child->view()};
        const CommandEntry* add = findCommand(command::kAddComponents);
        QVERIFY(!isCommandEnabled(*add, target));  // not a calibration chromatogram
        doc.passport.calibration = 1;
        QVERIFY(isCommandEnabled(*add, target));

        // The method loses two components; the named peaks bring them back.
        writer.method().calculation.components.resize(3);
        QVERIFY(writer.WriteMethod("Пики"));
        const std::string reduced = readBytes(methodFile("Пики"));
        std::size_t shown = 0;
        bool ok = false;
        child->prompts().runDialog = [&](QDialog& d) -> int {
            auto* sheet = qobject_cast<CMethodSheetDlg*>(&d);
            if (sheet == nullptr)
                return QDialog::Rejected;
            shown = sheet->sheet().method().calculation.components.size();
            if (ok)
                sheet->pressOk();
            else
                sheet->pressCancel();
            return sheet->result();
        };
        QVERIFY(!runCommand(*add, target));  // cancelled: nothing written
        QCOMPARE(shown, kDemoComponentCount);
        QVERIFY(readBytes(methodFile("Пики")) == reduced);
        QVERIFY(!runCommand(*findCommand(command::kChromatogramMethod), target));
        QCOMPARE(shown, std::size_t(3));  // the chromatogram's own copy, reloaded
        QVERIFY(readBytes(methodFile("Пики")) == reduced);
        ok = true;
        QVERIFY(runCommand(*add, target));
        QCOMPARE(readMethodAt(methodFile("Пики")).calculation.components.size(),
                 kDemoComponentCount);
        // The open chromatogram follows its saved method.
        QCOMPARE(documentMethod(doc)->calculation.components.size(), kDemoComponentCount);
        doc.setModified(false);
    }

    void calibrationDialogManualCoefficientsAndCurveForms() {
        CalculationSettings s;
        s.kind = 1;  // least squares
        s.response = 1;
        MethodComponent c;
        c.name = "Метан";
        c.curveType = 1;  // Y=k1*X + k0
        CalibrationPoint a, b;
        a.area = 1;
        a.amount = 3;
        b.area = 2;
        b.amount = 5;
        c.points = {a, b};
        s.components = {c};
        CCalibrationDlg dlg(s, 0);
        QVERIFY(dlg.curveForms()->isVisibleTo(&dlg));
        QVERIFY(!dlg.statistics()->isVisibleTo(&dlg));
        QVERIFY(dlg.levels()->isColumnHidden(CCalibrationDlg::kCoefficient));
        QCOMPARE(dlg.coefficient(0)->text(), QStringLiteral("1.000000"));
        QCOMPARE(dlg.coefficient(1)->text(), QStringLiteral("2.000000"));
        QVERIFY(dlg.coefficient(1)->isReadOnly());
        QVERIFY(!dlg.editCoefficient(1, QStringLiteral("7")));  // not in manual mode

        dlg.setCurveType(0);  // through zero
        QCOMPARE(s.components[0].k0, 0.0);
        QVERIFY(std::abs(s.components[0].k1 - 13.0 / 5.0) < 1e-12);

        dlg.setManual(true);
        QVERIFY(!dlg.coefficient(1)->isReadOnly());
        QVERIFY(!dlg.coefficient(0)->isEnabled());
        QVERIFY(dlg.editCoefficient(1, QStringLiteral("2,5")));
        QVERIFY(!dlg.editCoefficient(0, QStringLiteral("1")));  // not used by Y=k1*X
        QVERIFY(!dlg.editCoefficient(1, QStringLiteral("nan")));
        QVERIFY(dlg.editLevel(0, CCalibrationDlg::kArea, QStringLiteral("-4")));
        QCOMPARE(s.components[0].points[0].area, 4.0);
        QCOMPARE(s.components[0].k1, 2.5);  // kept through the refit
        dlg.setCurveType(5);                // a cubic with constant term
        QVERIFY(dlg.coefficient(3)->isEnabled());
        QVERIFY(dlg.editCoefficient(3, QStringLiteral("0.00001")));
        QCOMPARE(dlg.coefficient(3)->text(), QStringLiteral("1e-05"));

        QVERIFY(dlg.deleteAllLevels());
        QCOMPARE(dlg.levels()->rowCount(), 0);
        QVERIFY(!dlg.deleteButton()->isEnabled());
        QVERIFY(!dlg.deleteAllLevels());
    }
};

QTEST_MAIN(MethodEditorTest)
#include "method_editor_test.moc"
