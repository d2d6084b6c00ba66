// The chromatogram browser leaves a chromatogram that is open in a window
// where it is: moving or deleting it is refused and told, the other chosen
// files are moved or deleted, and copying it is allowed.

#include <QCheckBox>
#include <QTemporaryDir>
#include <QtTest>

#include "app/settings_store.h"
#include "document/chromatogram_browser.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui_test_support.h"

using namespace zelmora;
using zelmora::gui::CChromatogramBrowserDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

int indexOf(const CChromatogramBrowserDlg& dlg, const char* name) {
    int i = 0;
    for (const BrowserEntry& e : dlg.shownEntries()) {
        if (e.name == name)
            return i;
        ++i;
    }
    return -1;
}

}  // namespace

class BrowserOpenFilesTest : public QObject {
    Q_OBJECT
  private slots:
    void openChromatogramsStayWhereTheyAre() {
        QTemporaryDir dir;
        const fs::path folder = fs::path(dir.path().toStdString()) / "Хроматограммы";
        const fs::path target = fs::path(dir.path().toStdString()) / "Архив";
        fs::create_directories(folder);
        fs::create_directories(target);
        // Recorded together, so that the joint selection takes both.
        CZelmoraDoc a, b;
        fillDemoDocument(a, "Демо", 1700000000);
        fillDemoDocument(b, "Демо", 1700000003);
        SilentMessageSink sink;
        QVERIFY(a.Write(folder / "открытая.stg", sink, false).ok());
        QVERIFY(b.Write(folder / "закрытая.stg", sink, false).ok());
        SettingsStore& s = userSettings();
        s.setDword(kRootKey, "OpenDirType", 1);
        s.setString(kRootKey, "LastOpenPath1", folder.string());
        CChromatogramBrowserDlg::isOpenChromatogram = [&](const fs::path& f) {
            return f.filename() == "открытая.stg";
        };
        CChromatogramBrowserDlg::chooseFolder = [&](const QString&, QWidget*) {
            return QString::fromStdString(target.string());
        };
        MessageLog log;
        {
            CChromatogramBrowserDlg dlg(CChromatogramBrowserDlg::Open);
            dlg.jointSelection()->setChecked(true);
            dlg.selectEntry(indexOf(dlg, "открытая"));
            QCOMPARE(dlg.chosenFiles().size(), std::size_t(2));
            // A copy leaves the open file in place: allowed for both.
            dlg.copySelected(false);
            QVERIFY(fs::exists(target / "открытая.stg"));
            fs::remove(target / "открытая.stg");
            fs::remove(target / "закрытая.stg");
            dlg.selectEntry(indexOf(dlg, "открытая"));
            dlg.copySelected(true);
            QVERIFY(fs::exists(folder / "открытая.stg"));
            QVERIFY(!fs::exists(target / "открытая.stg"));
            QVERIFY(!fs::exists(folder / "закрытая.stg"));
            QVERIFY(fs::exists(target / "закрытая.stg"));
            QVERIFY(log.saw(QStringLiteral("хроматограмма открыта в окне")));
            // Deleting it alone: refused and told, nothing asked.
            const int before = log.texts.size();
            dlg.selectEntry(indexOf(dlg, "открытая"));
            dlg.deleteSelected();
            QVERIFY(fs::exists(folder / "открытая.stg"));
            QCOMPARE(log.texts.size(), before + 1);
            QVERIFY(log.texts.back().contains(QStringLiteral("Не удалось удалить")));
        }
        CChromatogramBrowserDlg::isOpenChromatogram = nullptr;
        CChromatogramBrowserDlg::chooseFolder = nullptr;
    }
};

QTEST_MAIN(BrowserOpenFilesTest)
#include "browser_open_files_test.moc"
