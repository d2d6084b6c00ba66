// The dialog "Открытие хроматограммы" over a folder of chromatograms made in
// code: the list with its date, sample and file, the filters, the joint
// selection, deleting and copying, the settings written on OK, and the
// one-file mode of "Скопировать концентрации".

#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <fstream>

#include "app/settings_store.h"
#include "document/stg_file.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/document/chromatogram_prompts.h"
#include "gui_test_support.h"

using namespace zelmora;
using zelmora::gui::CChromatogramBrowserDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kT = 1700000000;

bool writeFile(const fs::path& file, std::time_t analysisTime, const std::string& sample,
               const std::string& method, const std::string& place, int calibration = 0) {
    CZelmoraDoc doc;
    SyntheticChromatogram spec;
    spec.samples = 200;
    spec.dt = 0.01;
    spec.peaks.push_back({1.0, 10.0, 0.05});
    doc.signal = makeSyntheticSignal(spec);
    doc.passport.analysisTime = analysisTime;
    doc.passport.sample = sample;
    doc.passport.method = method;
    doc.passport.place = place;
    doc.passport.calibration = calibration;
    RecordingMessageSink sink;
    return doc.Write(file, sink, false).ok();
}

QStringList names(const CChromatogramBrowserDlg& dlg) {
    QStringList out;
    for (const BrowserEntry& e : dlg.shownEntries())
        out << QString::fromStdString(e.name);
    return out;
}

int indexOf(const CChromatogramBrowserDlg& dlg, const char* name) {
    return static_cast<int>(names(dlg).indexOf(QString::fromUtf8(name)));
}

}  // namespace

class ChromatogramBrowserDlgTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    fs::path folder_;

  private slots:
    void initTestCase() {
        folder_ = fs::path(dir_.path().toStdString()) / "Хроматограммы";
        fs::create_directories(folder_ / "Архив");
        QVERIFY(writeFile(folder_ / "k1.stg", kT, "Газ 1", "Газ", "ГРС-1"));
        QVERIFY(writeFile(folder_ / "k2.stg", kT + 5, "Газ 2", "газ", "ГРС-2"));
        QVERIFY(writeFile(folder_ / "k3.stg", kT + 15, "Смесь", "Калибровка", "ГРС-1", 1));
        fs::create_directories(folder_ / "x");
        std::ofstream(folder_ / "bad.stg") << "damaged";
        SettingsStore& s = userSettings();
        s.setDword(kRootKey, "OpenDirType", 1);
        s.setString(kRootKey, "LastOpenPath1", folder_.string());
        s.setDword(kRootKey, "MultiSelectMode", 0);
    }

    void listsAndFilters() {
        CChromatogramBrowserDlg dlg(CChromatogramBrowserDlg::Open);
        QCOMPARE(dlg.folder(), folder_);
        QCOMPARE(names(dlg), (QStringList{"..", "x", "Архив", "bad", "k3", "k2", "k1"}));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.selectEntry(indexOf(dlg, "k2"));
        QVERIFY(dlg.previewText().contains(QStringLiteral("ПРОБА: \tГаз 2")));
        QVERIFY(dlg.grab().save(QStringLiteral("browser.png")));
        dlg.selectEntry(indexOf(dlg, "bad"));
        QCOMPARE(dlg.previewText(), QStringLiteral("Ошибка чтения !!!"));
        dlg.selectEntry(0);
        QCOMPARE(dlg.previewText(), QStringLiteral("<ВВЕРХ>"));

        // "Газ" and "газ" are one method; the filter ignores case.
        QComboBox* method = dlg.methodFilter();
        QCOMPARE(method->itemText(0), QStringLiteral("* (любой)"));
        QCOMPARE(dlg.pointFilter()->itemText(0), QStringLiteral("* (любая)"));
        method->setCurrentIndex(method->findText(QStringLiteral("Газ"), Qt::MatchFixedString));
        QCOMPARE(names(dlg), (QStringList{"..", "x", "Архив", "k2", "k1"}));
        dlg.placeFilter()->setCurrentIndex(dlg.placeFilter()->findText(QStringLiteral("ГРС-1")));
        QCOMPARE(names(dlg), (QStringList{"..", "x", "Архив", "k1"}));
        method->setCurrentIndex(0);
        dlg.placeFilter()->setCurrentIndex(0);
        dlg.typeFilter()->setCurrentIndex(1);  // calibration chromatograms only
        QCOMPARE(names(dlg), (QStringList{"..", "x", "Архив", "k3"}));
        dlg.typeFilter()->setCurrentIndex(0);

        // Folders: into one, and up again.
        dlg.activateEntry(indexOf(dlg, "Архив"));
        QCOMPARE(dlg.folder(), folder_ / "Архив");
        dlg.activateEntry(0);
        QCOMPARE(dlg.folder(), folder_);
    }

    void jointSelectionAndOk() {
        CChromatogramBrowserDlg dlg(CChromatogramBrowserDlg::Open);
        dlg.jointSelection()->setChecked(true);
        dlg.selectEntry(indexOf(dlg, "k1"));
        std::vector<fs::path> chosen = dlg.chosenFiles();
        std::sort(chosen.begin(), chosen.end());
        QCOMPARE(chosen, (std::vector<fs::path>{folder_ / "k1.stg", folder_ / "k2.stg"}));
        dlg.jointSelection()->setChecked(false);
        dlg.selectEntry(indexOf(dlg, "x"));
        QVERIFY(dlg.chosenFiles().empty());  // folders are never chosen
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        dlg.jointSelection()->setChecked(true);
        dlg.activateEntry(indexOf(dlg, "k3"));  // the double click on a file
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.chosenFiles(), std::vector<fs::path>{folder_ / "k3.stg"});
        QCOMPARE(userSettings().readDword(kRootKey, "MultiSelectMode", 0), 1u);
        QCOMPARE(userSettings().readString(kRootKey, "LastOpenPath1", ""), folder_.string());
        userSettings().setDword(kRootKey, "MultiSelectMode", 0);
    }

    void copiesAndDeletes() {
        const fs::path other = fs::path(dir_.path().toStdString()) / "Другая";
        fs::create_directories(other);
        QVERIFY(writeFile(other / "k1.stg", kT, "старая", "Газ", ""));
        CChromatogramBrowserDlg dlg(CChromatogramBrowserDlg::Open);
        QString title;
        QString target = QString::fromStdString(other.string());
        CChromatogramBrowserDlg::chooseFolder = [&](const QString& t, QWidget*) {
            title = t;
            return target;
        };
        MessageLog log;
        log.answers = {QMessageBox::No};  // keep the existing k1
        dlg.jointSelection()->setChecked(true);
        dlg.selectEntry(indexOf(dlg, "k1"));
        dlg.copySelected(false);
        QCOMPARE(title, QStringLiteral("Скопировать в папку"));
        QVERIFY(log.saw(QStringLiteral("уже есть")));
        Passport p;
        QVERIFY(stg::ReadPassport(other / "k1.stg", p));
        QCOMPARE(p.sample, std::string("старая"));
        QVERIFY(fs::exists(other / "k2.stg"));
        QVERIFY(fs::exists(folder_ / "k2.stg"));

        // Into the current folder in another case: nothing happens.
        target = QString::fromStdString(folder_.string()).toUpper();
        dlg.selectEntry(indexOf(dlg, "k3"));
        dlg.copySelected(true);
        QVERIFY(fs::exists(folder_ / "k3.stg"));

        // Deleting asks, "no" by default.
        dlg.jointSelection()->setChecked(false);
        log.answers = {QMessageBox::No};
        dlg.selectEntry(indexOf(dlg, "bad"));
        dlg.deleteSelected();
        QVERIFY(log.saw(QStringLiteral("Удалить bad ?")));
        QVERIFY(fs::exists(folder_ / "bad.stg"));
        log.answers = {QMessageBox::Yes};
        dlg.deleteSelected();
        QVERIFY(!fs::exists(folder_ / "bad.stg"));
        QCOMPARE(indexOf(dlg, "bad"), -1);
        CChromatogramBrowserDlg::chooseFolder = nullptr;
    }

    void oneFileModeForCopyingConcentrations() {
        CChromatogramBrowserDlg dlg(CChromatogramBrowserDlg::OneFile);
        dlg.jointSelection()->setChecked(true);  // has no effect here
        dlg.selectEntry(indexOf(dlg, "k1"));
        QCOMPARE(dlg.chosenFiles(), std::vector<fs::path>{folder_ / "k1.stg"});

        gui::ChromatogramPrompts prompts;
        int askedMode = -1;
        {
            gui::ScopedChromatogramBrowser browser([&](int mode, QWidget*) {
                askedMode = mode;
                return std::vector<fs::path>{folder_ / "k2.stg"};
            });
            QCOMPARE(prompts.chooseChromatogram(), std::optional<fs::path>(folder_ / "k2.stg"));
        }
        QCOMPARE(askedMode, 1);
        gui::ScopedChromatogramBrowser cancelled(
            [](int, QWidget*) { return std::vector<fs::path>{}; });
        QVERIFY(!prompts.chooseChromatogram());
    }
};

QTEST_MAIN(ChromatogramBrowserDlgTest)
#include "chromatogram_browser_dlg_test.moc"
