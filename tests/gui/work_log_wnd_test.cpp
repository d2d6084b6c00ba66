// "Журнал работы": the log written by the program (Windows-1251, CR LF)
// shown decoded and scrolled to its end, new entries followed while the
// window is open, a trimmed log read afresh, and the find line.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "app/text.h"
#include "app/work_log.h"
#include "gui/app/work_log_wnd.h"
#include "gui/command_ids.h"
#include "gui/main_frame.h"

using namespace zelmora;
using zelmora::gui::CMainFrame;
using zelmora::gui::CWorkLogWnd;
namespace fs = std::filesystem;

class WorkLogWndTest : public QObject {
    Q_OBJECT
  private slots:
    void showsFollowsAndFinds() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        CWorkLog log;
        log.setFixedTime(1700000000);
        log.start(folder, "0.1.0", "9 декабря 2026");
        for (int i = 0; i < 200; ++i)
            log.write(text::format("  Прибор %d - готов к записи", i));
        log.write("! Ошибка подключения прибора 1 (Кристалл) на COM3");
        const fs::path file = log.path();
        // The file holds code page 1251, not UTF-8.
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        QVERIFY(bytes.find(text::toCp1251("Ошибка подключения")) != std::string::npos);

        CWorkLogWnd wnd(file, nullptr, 50);
        wnd.resize(700, 400);
        wnd.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wnd));
        const QString shown = wnd.text()->toPlainText();
        QVERIFY(shown.contains(QStringLiteral("Программа запущена")));
        QVERIFY(
            shown.contains(QStringLiteral("! Ошибка подключения прибора 1 (Кристалл) на COM3")));
        QVERIFY(!shown.contains(QLatin1Char('\r')));
        QVERIFY(wnd.text()->isReadOnly());
        QScrollBar* bar = wnd.text()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(wnd.grab().save(QStringLiteral("work-log.png")));

        // A new entry appears while the window is open, at the end.
        log.write("~ Оператор сохранил метод Газ");
        QTRY_VERIFY(
            wnd.text()->toPlainText().endsWith(QStringLiteral("~ Оператор сохранил метод Газ")));
        QCOMPARE(bar->value(), bar->maximum());

        // Find: forward, wrapping, and a text that is nowhere.
        wnd.findLine()->setText(QStringLiteral("Прибор 150"));
        QVERIFY(wnd.findNext());
        QCOMPARE(wnd.text()->textCursor().selectedText(), QStringLiteral("Прибор 150"));
        QVERIFY(wnd.findNext());  // wraps to the same one
        wnd.findLine()->setText(QStringLiteral("Плазма"));
        QVERIFY(!wnd.findNext());

        // A log cut shorter (trimmed at a start) is read again from its start.
        log.stop();
        QVERIFY(CWorkLog::trim(file, folder / CWorkLog::kRotationName, 300));
        wnd.follow();
        const QString after = wnd.text()->toPlainText();
        QVERIFY(after.size() < shown.size());
        QVERIFY(after.contains(QStringLiteral("Программа остановлена")));
    }

    void commandOpensOneWindow() {
        CMainFrame frame;
        QVERIFY(frame.action(gui::command::kWorkLog)->isEnabled());
        QVERIFY(frame.runCommand(gui::command::kWorkLog));
        CWorkLogWnd* first = frame.workLogWindow();
        QVERIFY(first != nullptr && first->isVisible());
        QVERIFY(frame.runCommand(gui::command::kWorkLog));
        QCOMPARE(frame.workLogWindow(), first);
    }
};

QTEST_MAIN(WorkLogWndTest)
#include "work_log_wnd_test.moc"
