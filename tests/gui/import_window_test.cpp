// A chromatogram of another system opened in a window of its own: a CSV
// trace becomes an unsaved, changed chromatogram with its view; a file that
// is no chromatogram is refused with its reason in a message box. The main
// window imports through "&Импорт..." and through openDocument (dropped
// files, the command line), and writes a chromatogram as AIA/ANDI.

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "document/aia_file.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"

namespace fs = std::filesystem;
using namespace zelmora;

class ImportWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void opensACsvTraceAsANewChromatogram() {
        QTemporaryDir dir;
        const fs::path csv = fs::path(dir.path().toStdString()) / "проба.csv";
        {
            std::ofstream out(csv);
            out << "Время, с;Сигнал, мкВ\n";
            for (int i = 0; i < 600; ++i)
                out << i << ";" << (i > 280 && i < 320 ? 5000 : 10) << "\n";
        }
        gui::CChildFrame frame;
        QVERIFY(frame.openImported(csv));
        const CZelmoraDoc& doc = frame.document();
        QCOMPARE(doc.signal.size(), std::size_t{600});
        QCOMPARE(doc.signal.dt, 1.0 / 60);
        QCOMPARE(doc.signal.samples[300], 5.0f);  // µV into mV
        QVERIFY(doc.pathName().empty());          // saving asks for a name
        QVERIFY(doc.isModified());
        QCOMPARE(doc.state().title(), std::string("проба"));
        QVERIFY(frame.widget() != nullptr);
    }

    void mainWindowImportsAndExportsAia() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        const fs::path csv = folder / "след.CSV";
        {
            std::ofstream out(csv);
            out << "min,mV\n";
            for (int i = 0; i < 900; ++i)
                out << i / 300.0 << "," << (i > 400 && i < 420 ? 50 : 1) << "\n";
        }
        const fs::path cdf = folder / "след.cdf";
        QString asked;
        gui::ScopedFileChooser chooser([&](const gui::FileRequest& r) {
            asked = r.caption;
            return QString::fromStdString((r.save ? cdf : csv).string());
        });
        gui::CMainFrame frame;
        frame.show();
        frame.updateCommandStates();
        QVERIFY(!frame.action(gui::command::kExportAia)->isEnabled());
        QVERIFY(frame.runCommand(gui::command::kImport));
        QCOMPARE(asked, QStringLiteral("Импорт хроматограммы"));
        QCOMPARE(frame.chromatograms().size(), 1);
        gui::CChildFrame* imported = frame.activeChromatogram();
        QVERIFY(imported != nullptr);
        QCOMPARE(imported->document().signal.size(), std::size_t{900});

        QVERIFY(frame.runCommand(gui::command::kExportAia));
        QCOMPARE(asked, QStringLiteral("Экспорт в AIA/ANDI"));
        Result<ImportedChromatogram> back = aia::readFile(cdf);
        QVERIFY2(back.ok(), back.message().c_str());
        QCOMPARE(back->signal.samples, imported->document().signal.samples);

        // A dropped or named ".cdf" opens through openDocument as an import.
        gui::CChildFrame* reopened = frame.openDocument(cdf);
        QVERIFY(reopened != nullptr && reopened != imported);
        QCOMPARE(frame.chromatograms().size(), 2);
        QCOMPARE(reopened->document().signal.samples, imported->document().signal.samples);
        for (gui::CChildFrame* c : frame.chromatograms())
            c->setCloseConfirmed(true);
    }

    void refusesAFileThatIsNoChromatogram() {
        QTemporaryDir dir;
        const fs::path junk = fs::path(dir.path().toStdString()) / "junk.cdf";
        std::ofstream(junk) << "no netCDF here";
        guitest::MessageLog log;
        gui::CChildFrame frame;
        QVERIFY(!frame.openImported(junk));
        QVERIFY(log.saw("не файл AIA/ANDI"));
        QVERIFY(frame.widget() == nullptr);
    }
};

QTEST_MAIN(ImportWindowTest)
#include "import_window_test.moc"
