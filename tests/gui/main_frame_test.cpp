// The desktop program starts, shows its main window with the Russian menus,
// writes the work log's start line and, at exit, the stop line and the options.

#include <QApplication>
#include <QMenuBar>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "database/analyses_database.h"
#include "document/results_store.h"
#include "gui/main_frame.h"
#include "gui/zelmora_app.h"

class MainFrameTest : public QObject {
    Q_OBJECT
  private slots:
    void startsAndCloses() {
        const auto home = std::filesystem::path(qgetenv("ZELMORA_HOME").toStdString());
        std::filesystem::remove_all(home);
        int argc = 1;
        char name[] = "zelmora";
        char* argv[] = {name, nullptr};
        QApplication qt(argc, argv);
        {
            zelmora::gui::CZelmoraApp app(qt);
            QVERIFY(app.start(false));
            QVERIFY(QTest::qWaitForWindowExposed(&app.mainFrame()));
            // The first start makes the analyses database and saves results there.
            QVERIFY(app.database() != nullptr && app.database()->isOpen());
            QVERIFY(zelmora::resultsStore() != nullptr);
            QStringList menus;
            for (QAction* a : app.mainFrame().menuBar()->actions())
                menus << a->text();
            QVERIFY(menus.contains(QStringLiteral("&Файл")));
            QVERIFY(menus.contains(QStringLiteral("&Справка")));
            // Qt must not leave a locale with decimal commas behind.
            QCOMPARE(zelmora::text::format("%.2f", 1.5), std::string("1.50"));
            QVERIFY(zelmora::CWorkLog::instance().active());
            app.mainFrame().close();
        }
        std::ifstream in(home / "Zelmora.log", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string log = zelmora::text::fromCp1251(ss.str());
        QVERIFY(log.find(". Программа запущена - версия") != std::string::npos);
        QVERIFY(log.find(". Программа остановлена\r\n----") != std::string::npos);
        QVERIFY(std::filesystem::exists(home / "user.reg"));
        QVERIFY(std::filesystem::exists(zelmora::programOptions().databaseFile()));
        QVERIFY(zelmora::resultsStore() == nullptr);  // gone with the database
    }
};

QTEST_APPLESS_MAIN(MainFrameTest)
#include "main_frame_test.moc"
