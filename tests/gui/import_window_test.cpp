// A chromatogram of another system opened in a window of its own: a CSV
// trace becomes an unsaved, changed chromatogram with its view; a file that
// is no chromatogram is refused with its reason in a message box.

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "gui/document/child_frame.h"
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
