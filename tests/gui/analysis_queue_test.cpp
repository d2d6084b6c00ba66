// The analysis queue's windows: the entries with their states and colours,
// moving and re-running samples from the window, loading the laboratory
// system's file (chosen without a list when it is the only one, refused
// with a message when it is not a queue), the settings written back, and the
// main window that reads the working copy when it opens and shows the queue
// from its band.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "gui/command_ids.h"
#include "gui/instruments/analysis_queue_dlg.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"

namespace fs = std::filesystem;
using namespace zelmora;

namespace {

QueueEntry entry(int id, int vial, int status, const std::string& info) {
    QueueEntry e;
    e.id = id;
    e.vial = vial;
    e.status = status;
    e.info = info;
    e.type = "А";
    return e;
}

void writeQueue(const fs::path& file, const std::vector<QueueEntry>& entries) {
    std::ofstream(file, std::ios::binary) << writeQueueXml(entries);
}

std::vector<int> ids(const AnalysisQueue& q) {
    std::vector<int> out;
    for (const QueueEntry& e : q.entries())
        out.push_back(e.id);
    return out;
}

}  // namespace

class AnalysisQueueTest : public QObject {
    Q_OBJECT
  private slots:
    void showsEntriesWithTheirStates() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        writeQueue(folder / "aq.xml", {entry(1, 11, 2, "Керосин"), entry(2, 12, 0, "Бензин"),
                                       entry(3, 13, 1, "Дизель"), entry(4, 14, 0, "Мазут")});
        AnalysisQueue queue(folder / "queue.xml");
        QVERIFY(queue.load(folder / "aq.xml").ok());
        SettingsStore settings(folder / "settings", true);
        gui::CAnalysisQueueDlg dlg(queue, settings, nullptr, nullptr);

        QTableWidget* t = dlg.table();
        QCOMPARE(t->rowCount(), 4);
        QCOMPARE(t->item(0, 0)->text(), QString("11"));
        QCOMPARE(t->item(0, 3)->text(), QString("Обработан"));
        QCOMPARE(t->item(0, 0)->background().color(), QColor(0xC8, 0xC8, 0xC8));
        QCOMPARE(t->item(2, 2)->text(), QString("Дизель"));
        QCOMPARE(t->item(2, 3)->text(), QString("В работе"));
        QCOMPARE(t->item(2, 1)->background().color(), QColor(0xFF, 0x80, 0x00));
        QCOMPARE(t->item(1, 3)->text(), QString("Новая"));
        QCOMPARE(dlg.workLine()->text(), QString("В работе Пробирка 13 А"));

        dlg.showProcessed()->setChecked(false);
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(t->item(0, 2)->text(), QString("Бензин"));

        // The recording ends: the window follows a change made elsewhere.
        QVERIFY(queue.finishInWork(true).ok());
        dlg.refresh();
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(dlg.workLine()->text(), QString("Состояние: Свободен"));
        dlg.resize(640, 380);
        dlg.grab().save(QString::fromStdString((folder / "queue.png").string()));
    }

    void movesAndRerunsTheSelectedSamples() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        writeQueue(folder / "aq.xml", {entry(1, 1, 2, "a"), entry(2, 2, 0, "b"),
                                       entry(3, 3, 0, "c"), entry(4, 4, 0, "d")});
        AnalysisQueue queue(folder / "queue.xml");
        QVERIFY(queue.load(folder / "aq.xml").ok());
        SettingsStore settings(folder / "settings", true);
        gui::CAnalysisQueueDlg dlg(queue, settings, nullptr, nullptr);
        QTableWidget* t = dlg.table();

        t->selectRow(3);
        dlg.moveUp();
        QCOMPARE(ids(queue), (std::vector<int>{1, 2, 4, 3}));
        // The moved sample stays selected in the window.
        QCOMPARE(t->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(t->selectionModel()->selectedRows().front().row(), 2);
        dlg.moveUp();
        QCOMPARE(ids(queue), (std::vector<int>{1, 4, 2, 3}));
        dlg.moveUp();  // not above the processed sample
        QCOMPARE(ids(queue), (std::vector<int>{1, 4, 2, 3}));
        dlg.moveDown();
        QCOMPARE(ids(queue), (std::vector<int>{1, 2, 4, 3}));

        t->clearSelection();
        t->selectRow(0);
        dlg.redo();
        QCOMPARE(queue.entries()[3].status, int(kQueueNew));
        QCOMPARE(t->item(3, 3)->text(), QString("Новая"));
    }

    void loadsTheLaboratorySystemsFile() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        const fs::path queues = folder / "queues";
        fs::create_directories(queues);
        SettingsStore settings(folder / "settings", true);
        QueueSettings s;
        s.loadFolder = queues.string();
        s.save(settings);
        AnalysisQueue queue(folder / "queue.xml");
        gui::CAnalysisQueueDlg dlg(queue, settings, nullptr, nullptr);
        guitest::MessageLog log;

        // No file: the operator hears so; nothing is loaded.
        dlg.loadQueue();
        QVERIFY(log.saw("нет файлов очереди"));
        QCOMPARE(queue.size(), std::size_t{0});

        // One file: taken without the list.
        writeQueue(queues / "aq-20261209.xml", {entry(7, 1, 0, "Бензин")});
        dlg.loadQueue();
        QCOMPARE(queue.size(), std::size_t{1});
        QCOMPARE(dlg.table()->item(0, 2)->text(), QString("Бензин"));

        // A file that is not a queue: the message, the queue kept.
        std::ofstream(queues / "aq-20261210.xml") << "<Worklist/>";
        gui::ScopedQueueFilePicker picker(
            [&](QWidget*, const QString& f) { return QDir(f).filePath("aq-20261210.xml"); });
        dlg.loadQueue();
        QVERIFY(log.saw("Ошибка загрузки очереди!"));
        QCOMPARE(queue.size(), std::size_t{1});
    }

    void listsQueueFilesByTheirDates() {
        gui::CQueueListDlg dlg({"aq-20261208.xml", "aq-20261209.xml"}, "09.12.2026", nullptr);
        QCOMPARE(dlg.list()->count(), 2);
        QCOMPARE(dlg.list()->item(0)->text(), QString("Очередь от 08.12.2026"));
        QCOMPARE(dlg.list()->item(1)->text(), QString("Очередь за сегодня"));
        QCOMPARE(dlg.chosenFile(), QString("aq-20261209.xml"));
        dlg.list()->setCurrentRow(0);
        QCOMPARE(dlg.chosenFile(), QString("aq-20261208.xml"));
    }

    void settingsAreWrittenBack() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        SettingsStore settings(folder / "settings", true);
        gui::CQueueSettingsDlg dlg(settings, nullptr, nullptr);
        QCOMPARE(dlg.workingMethodEdit()->text(), QString("Не задан"));
        QCOMPARE(dlg.deviceBox()->currentIndex(), -1);
        dlg.folderEdit()->setText("/srv/queues");
        dlg.programEdit()->setText("/usr/local/bin/lims-put");
        dlg.save();

        SettingsStore reread(folder / "settings", true);
        reread.load();
        const QueueSettings s = QueueSettings::load(reread);
        QCOMPARE(s.loadFolder, std::string("/srv/queues"));
        QCOMPARE(s.exportProgram, std::string("/usr/local/bin/lims-put"));
        QCOMPARE(s.device, -1);
        QCOMPARE(s.workingMethod, std::string("Не задан"));
    }

    void mainWindowReadsTheWorkingCopyAndShowsTheQueue() {
        // A program that stopped while sample 2 was recorded left it in work.
        fs::create_directories(AnalysisQueue::defaultWorkingCopy().parent_path());
        writeQueue(AnalysisQueue::defaultWorkingCopy(),
                   {entry(1, 1, 2, "a"), entry(2, 2, 1, "b"), entry(3, 3, 0, "c")});
        CProgramSettings::instance().update([](ProgramOptions& o) { o.enableKGK = true; });
        gui::CMainFrame frame;
        frame.updateCommandStates();
        QVERIFY(frame.action(gui::command::kQueue)->isVisible());
        std::vector<int> statuses;
        for (const QueueEntry& e : frame.analysisQueue().entries())
            statuses.push_back(e.status);
        QCOMPARE(statuses, (std::vector<int>{2, 0, 0}));

        QVERIFY(frame.runCommand(gui::command::kQueue));
        gui::CAnalysisQueueDlg* dlg = frame.showQueue();
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->table()->rowCount(), 3);
        // A change from a recording thread reaches the window.
        std::thread([&] { (void)frame.analysisQueue().takeNext(); }).join();
        QTRY_COMPARE(dlg->table()->item(1, 3)->text(), QString("В работе"));

        CProgramSettings::instance().update([](ProgramOptions& o) { o.enableKGK = false; });
        frame.updateCommandStates();
        QVERIFY(!frame.action(gui::command::kQueue)->isVisible());
    }
};

QTEST_MAIN(AnalysisQueueTest)
#include "analysis_queue_test.moc"
