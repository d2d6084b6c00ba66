// The options dialog: its enabling rules, the OK rules and the access-level
// switching with its pass words.

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>

#include "app/program_settings.h"
#include "gui/app/access_level_dialog.h"
#include "gui/app/programm_setup_sheet.h"

using zelmora::ProgramOptions;
using zelmora::gui::CProgrammSetupSheet;

class ProgrammSetupSheetTest : public QObject {
    Q_OBJECT
  private slots:
    void enablingRulesFollowTheBoxes() {
        ProgramOptions o;
        CProgrammSetupSheet sheet(o, {});
        QCOMPARE(sheet.pages()->count(), 5);
        QVERIFY(sheet.noViewGroupCalib()->isEnabled());
        sheet.viewGroup()->setChecked(false);
        QVERIFY(!sheet.noViewGroupCalib()->isEnabled());
        QVERIFY(!sheet.autoGenerateMethod()->isEnabled());  // the warning is on by default
        sheet.checkViewNoMethod()->setChecked(false);
        QVERIFY(sheet.autoGenerateMethod()->isEnabled());
        QVERIFY(!sheet.copiesFolder()->isEnabled());
        sheet.checkSaveCopy()->setChecked(true);
        QVERIFY(sheet.copiesFolder()->isEnabled());
        QVERIFY(sheet.copiesBrowse()->isEnabled());
        // A picture of each page for people to look at (not compared).
        sheet.resize(720, 560);
        for (int i = 0; i < sheet.pages()->count(); ++i) {
            sheet.pages()->setCurrentIndex(i);
            QVERIFY(
                sheet.grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/options-%1.png").arg(i)));
        }
    }

    void processorSliderIsMirrored() {
        ProgramOptions o;
        o.processor = 7;
        CProgrammSetupSheet sheet(o, {});
        QCOMPARE(sheet.processorSlider()->value(), 0);
        sheet.processorSlider()->setValue(7);
        QCOMPARE(sheet.result().processor, 0);
    }

    void autoCloseWithoutAutoSaveNeedsAYes() {
        ProgramOptions o;
        CProgrammSetupSheet::Hooks hooks;
        QString asked;
        hooks.askYesNo = [&](const QString& t) {
            asked = t;
            return false;
        };
        hooks.warn = [](const QString&) {};
        CProgrammSetupSheet sheet(o, hooks);
        sheet.autoClose()->setChecked(true);
        sheet.applyOkRules();
        QVERIFY(asked.contains(QStringLiteral("без сохранения результатов")));
        QVERIFY(!sheet.result().autoClose);
        sheet.autoSave()->setChecked(true);
        sheet.autoClose()->setChecked(true);
        asked.clear();
        sheet.applyOkRules();
        QVERIFY(asked.isEmpty());
        QVERIFY(sheet.result().autoClose);
    }

    void copiesFolderThatCannotBeMadeIsReportedAndKept() {
        ProgramOptions o;
        o.checkSaveCopy = true;
        o.pathSaveCopy = "/proc/zelmora-cannot-exist/copies";
        QString warned;
        CProgrammSetupSheet::Hooks hooks;
        hooks.warn = [&](const QString& t) { warned = t; };
        CProgrammSetupSheet sheet(o, hooks);
        sheet.applyOkRules();
        QVERIFY(warned.startsWith(QStringLiteral("Директория для сохранения копий")));
        QCOMPARE(sheet.result().pathSaveCopy, o.pathSaveCopy);
    }

    void accessLevelSwitching() {
        ProgramOptions o;
        o.accessLevel = 1;
        bool connected = false;
        int asked = -1;
        bool answer = false;
        QString warned;
        CProgrammSetupSheet::Hooks hooks;
        hooks.anyInstrumentConnected = [&] { return connected; };
        hooks.askPassword = [&](int level) {
            asked = level;
            return answer;
        };
        hooks.warn = [&](const QString& t) { warned = t; };
        CProgrammSetupSheet sheet(o, hooks);
        // "Наладчик" cancelled: the level becomes "Специалист", not the old one.
        sheet.chooseAccessLevel(4);
        QCOMPARE(asked, 4);
        QCOMPARE(sheet.result().accessLevel, 2);
        QCOMPARE(sheet.accessLevels()->checkedId(), 2);
        answer = true;
        sheet.chooseAccessLevel(5);
        QCOMPARE(sheet.result().accessLevel, 5);
        // With an instrument connected, going down from above 3 is refused.
        connected = true;
        sheet.chooseAccessLevel(1);
        QVERIFY(warned.contains(QStringLiteral("приборы должны быть отключены")));
        QCOMPARE(sheet.result().accessLevel, 5);
        QCOMPARE(sheet.accessLevels()->checkedId(), 5);
        // Choosing the current level 5 again does nothing.
        asked = -1;
        sheet.chooseAccessLevel(5);
        QCOMPARE(asked, -1);
        connected = false;
        sheet.chooseAccessLevel(0);
        QCOMPARE(sheet.result().accessLevel, 0);
    }

    void passwordDialogEnablesOkOnlyForAnAcceptedSpelling() {
        zelmora::gui::CAccessLevelDialog dlg(3);
        QVERIFY(!dlg.okButton()->isEnabled());
        dlg.edit()->setText(QStringLiteral("пус"));
        QVERIFY(!dlg.okButton()->isEnabled());
        dlg.edit()->setText(QStringLiteral("пуск"));
        QVERIFY(dlg.okButton()->isEnabled());
        dlg.edit()->setText(QStringLiteral("GECR"));
        QVERIFY(dlg.okButton()->isEnabled());
        dlg.edit()->setText(QStringLiteral("ШЛЕЙФ"));
        QVERIFY(!dlg.okButton()->isEnabled());
    }
};

QTEST_MAIN(ProgrammSetupSheetTest)
#include "programm_setup_sheet_test.moc"
