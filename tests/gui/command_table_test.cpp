// The command table: every command written once, every band button and menu
// item backed by an entry, commands without a handler shown but disabled
// even with a chromatogram open, and the view's keys taken from the table.

#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <filesystem>

#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/document/child_frame.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"
#include "method/document_method.h"
#include "processing/peak_integration.h"

namespace fs = std::filesystem;
using namespace zelmora::gui;

namespace {

bool inSomeMenu(QAction* a) {
    for (QObject* o : a->associatedObjects()) {
        if (qobject_cast<QMenu*>(o) != nullptr)
            return true;
    }
    return false;
}

QMenu* barMenu(CMainFrame& frame, const QString& title) {
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->menu() != nullptr && a->menu()->title() == title)
            return a->menu();
    }
    return nullptr;
}

}  // namespace

class CommandTableTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(zelmora::guitest::startWithDemoMethod()); }

    void everyCommandIsWrittenOnce() {
        QSet<int> ids, silent;
        QHash<QKeySequence, int> keys;
        for (const CommandEntry& c : commandTable()) {
            if (c.recentFiles) {
                QCOMPARE(c.id, 0);
                QVERIFY(c.menu == Menu::File);
                continue;
            }
            QVERIFY2(c.id != 0, c.label);
            QVERIFY2(!ids.contains(c.id), qPrintable(QString::number(c.id)));
            ids.insert(c.id);
            QCOMPARE(findCommand(c.id), &c);
            // A menu item has a label; a command with nothing to show stands
            // in no menu and on no band.
            QVERIFY2(c.menu == Menu::None || *c.label != '\0', qPrintable(QString::number(c.id)));
            if (*c.label == '\0' && *c.hint == '\0') {
                QVERIFY(c.menu == Menu::None);
                silent.insert(c.id);
            }
            for (const QKeySequence& k : commandKeys(c)) {
                QVERIFY2(!k.isEmpty(), c.label);
                // Two actions with one shortcut would both stay silent.
                QVERIFY2(!keys.contains(k), qPrintable(k.toString()));
                keys.insert(k, c.id);
            }
        }
        // The recent files and the instruments are no entries of the table.
        QVERIFY(findCommand(command::kRecentFile1) == nullptr);
        QVERIFY(findCommand(40000) == nullptr);
        QVERIFY(findCommand(0) == nullptr);
        // Every band button is a command of the table.
        for (int b : band::kAll) {
            for (int id : band::buttons(b))
                QVERIFY2(id == 0 || (ids.contains(id) && !silent.contains(id)),
                         qPrintable(QString::number(id)));
        }
    }

    void commandsWithoutAHandlerStayDisabledWithAChromatogram() {
        QTemporaryDir dir;
        const fs::path file = fs::path(dir.path().toStdString()) / "a.stg";
        QVERIFY(zelmora::guitest::writeChromatogram(file, "Демо"));
        CMainFrame frame;
        frame.show();
        QMenu* peaks = barMenu(frame, QStringLiteral("П&ики"));
        QVERIFY(peaks != nullptr);
        QVERIFY(!peaks->menuAction()->isVisible());
        QVERIFY(!frame.action(command::kFindInDatabase)->isVisible());

        QVERIFY(frame.openDocument(file) != nullptr);
        frame.updateCommandStates();
        QVERIFY(peaks->menuAction()->isVisible());
        int waiting = 0;
        for (const CommandEntry& c : commandTable()) {
            if (c.run != nullptr || c.recentFiles)
                continue;
            ++waiting;
            QAction* a = frame.action(c.id);
            QVERIFY2(a != nullptr, c.label);
            QVERIFY2(!a->isEnabled(), c.label);
            QVERIFY2(!frame.runCommand(c.id), c.label);
            if (c.menu != Menu::None)
                QVERIFY2(inSomeMenu(a) && a->isVisible(), c.label);
        }
        // Commands whose windows are not part of the program yet ("Справка",
        // the instruments' settings sheet...) are there, shown disabled.
        QVERIFY(waiting > 0);
        // The database's search waits for its window, the filter works now.
        QVERIFY(frame.action(command::kFindInDatabase)->isVisible());
        QVERIFY(!frame.runCommand(command::kFindInDatabase));
        QVERIFY(frame.action(command::kFilter)->isEnabled());
        // Every command of a menu is in one.
        for (const CommandEntry& c : commandTable()) {
            if (c.menu != Menu::None && c.menu != Menu::Window && !c.recentFiles)
                QVERIFY2(inSomeMenu(frame.action(c.id)), c.label);
        }
        frame.activeChromatogram()->document().setModified(false);
    }

    void theViewTakesItsKeysFromTheTable() {
        const auto idOf = [](QKeyCombination k) {
            const CommandEntry* c = viewCommandForKey(QKeySequence(k));
            return c != nullptr ? c->id : 0;
        };
        QCOMPARE(idOf(QKeyCombination(Qt::Key_Insert)), command::kAddPeak);
        QCOMPARE(idOf(QKeyCombination(Qt::Key_Delete)), command::kDeletePeak);
        QCOMPARE(idOf(QKeyCombination(Qt::ControlModifier, Qt::Key_C)), command::kCopyTable);
        QCOMPARE(idOf(QKeyCombination(Qt::ControlModifier, Qt::Key_Insert)), command::kCopyTable);
        // "Удалить &все" (Alt+Del) and saving are the window's, not the view's.
        QCOMPARE(idOf(QKeyCombination(Qt::AltModifier, Qt::Key_Delete)), 0);
        QCOMPARE(idOf(QKeyCombination(Qt::ControlModifier, Qt::Key_S)), 0);
    }
};

QTEST_MAIN(CommandTableTest)
#include "command_table_test.moc"
