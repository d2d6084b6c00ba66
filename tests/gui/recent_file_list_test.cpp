// The recent files: newest first, each file once, at most four, kept in the
// settings under "Recent File List" as "File1".."File4".

#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "app/settings_store.h"
#include "gui/recent_file_list.h"

namespace fs = std::filesystem;
using zelmora::SettingsStore;
using zelmora::gui::RecentFileList;

class RecentFileListTest : public QObject {
    Q_OBJECT
  private slots:
    void keepsTheNewestFourOnceEach() {
        QTemporaryDir dir;
        const fs::path file = fs::path(dir.path().toStdString()) / "user.reg";
        const std::string key = std::string(zelmora::kRootKey) + "\\Recent File List";
        {
            SettingsStore store(file, true);
            store.load();
            RecentFileList list(store);
            list.load();
            QVERIFY(list.files().empty());
            for (const char* name :
                 {"/d/a.stg", "/d/b.stg", "/d/c.stg", "/d/./a.stg", "/d/e.stg", "/d/f.stg"})
                list.add(name);
            const std::vector<fs::path> expected = {"/d/f.stg", "/d/e.stg", "/d/a.stg", "/d/c.stg"};
            QCOMPARE(list.files(), expected);
            QCOMPARE(store.readString(key, "File1"), std::string("/d/f.stg"));
            QCOMPARE(store.readString(key, "File4"), std::string("/d/c.stg"));
            list.remove("/d/e.stg");
            list.remove("/d/none.stg");
            QCOMPARE(list.files().size(), std::size_t{3});
            QVERIFY(!store.value(key, "File4"));  // the freed place is cleared
            QVERIFY(store.flush());
        }
        SettingsStore again(file, false);
        QCOMPARE(again.load(), SettingsStore::LoadStatus::Loaded);
        RecentFileList list(again);
        list.load();
        const std::vector<fs::path> expected = {"/d/f.stg", "/d/a.stg", "/d/c.stg"};
        QCOMPARE(list.files(), expected);
    }

    void skipsEmptyAndRepeatedEntriesOfTheSettings() {
        QTemporaryDir dir;
        SettingsStore store(fs::path(dir.path().toStdString()) / "user.reg", true);
        store.load();
        const std::string key = std::string(zelmora::kRootKey) + "\\Recent File List";
        store.setString(key, "File1", "/x/one.stg");
        store.setString(key, "File2", "");
        store.setString(key, "File3", "/x/one.stg");
        store.setString(key, "File4", "/x/two.stg");
        store.setString(key, "File5", "/x/beyond.stg");
        RecentFileList list(store);
        list.load();
        const std::vector<fs::path> expected = {"/x/one.stg", "/x/two.stg"};
        QCOMPARE(list.files(), expected);
    }
};

QTEST_APPLESS_MAIN(RecentFileListTest)
#include "recent_file_list_test.moc"
