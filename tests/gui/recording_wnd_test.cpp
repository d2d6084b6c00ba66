// Recording in the desktop program on the simulated converter: "Запустить
// метод" opens the waiting window, its start (the operator's button or the
// converter's own start signal) opens the recording window with the live
// trace, and the end of the run opens the saved, processed chromatogram;
// the recording window's commands, the stop question of "Disconect2", the
// sounds, and the recovery of a journal left by a crash. The waiting
// window's line names the channel's detector when the instrument has one.

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "document/zelmora_doc.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/instruments/recording_controller.h"
#include "gui/instruments/recording_wnd.h"
#include "gui/instruments/waiting_wnd.h"
#include "gui/main_frame.h"
#include "gui/zelmora_app.h"
#include "gui_test_support.h"
#include "instruments/demo_adc.h"
#include "instruments/device_manager.h"
#include "method/method_sheet.h"
#include "processing/demo_sample.h"

namespace fs = std::filesystem;
using zelmora::CChannel;
using zelmora::CDeviceManager;
using zelmora::gui::ChannelMethodChoice;
using zelmora::gui::CRecordingWnd;
using zelmora::gui::CWaitingWnd;
using zelmora::guitest::MessageLog;

namespace {

constexpr int kDemo = 5;

// The demo method with a run of `minutes`.
bool writeShortMethod(const std::string& name, float minutes) {
    zelmora::CMethodSheet sheet;
    sheet.method() = zelmora::demoMethod();
    sheet.method().capture.analysisTime = minutes;
    sheet.method().capture.samplingRate = 10.0f;
    return sheet.WriteMethod(name).ok();
}

// An instrument with a detector on its first channel only.
class DetectorDevice : public zelmora::CDevice {
  public:
    int type() const override { return kDemo; }
    std::string detectorName(int channel) const override {
        return channel == 0 ? "Измеритель малых токов 1" : std::string();
    }

  protected:
    void onReceive(const std::uint8_t*, std::size_t) override {}
};

fs::path picturePath(const char* name) {
    const char* dir = std::getenv("ZELMORA_PICTURES");
    return fs::path(dir != nullptr ? dir : fs::temp_directory_path().c_str()) / name;
}

}  // namespace

class RecordingWndTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        CDeviceManager list(zelmora::userSettings());
        list.load();
        list.removeAll();
        QVERIFY(list.add(kDemo) != nullptr);
        QVERIFY(list.save());
        zelmora::CProgramSettings::instance().update([](zelmora::ProgramOptions& o) {
            o.confirmDisconnect = false;
            o.autoSave = true;
            o.autoClose = false;
            o.disconect2 = false;
            o.useSound = true;
            o.checkOpenPassport = false;
        });
        QVERIFY(writeShortMethod("Короткий", 0.05f));  // 30 points at 10 per second
        QVERIFY(writeShortMethod("Длинный", 30.0f));
    }

    // The operator's way: the waiting window, "Начать запись", the live
    // trace, five more minutes, the stop (asked first), the chromatogram.
    void runMethodWaitsRecordsAndEndsInASavedChromatogram() {
        auto& qt = static_cast<QApplication&>(*QCoreApplication::instance());
        zelmora::gui::CZelmoraApp app(qt);
        zelmora::gui::CMainFrame& frame = app.mainFrame();
        frame.resize(1000, 700);
        frame.show();
        auto& controller = app.recording();
        QStringList sounds;
        controller.setSoundPlayer(
            [&](const QString& f) { sounds << fs::path(f.toStdString()).filename().c_str(); });
        QString preset;
        controller.setMethodChooser([&](QWidget*, const QString& p) {
            preset = p;
            return std::optional<ChannelMethodChoice>(ChannelMethodChoice{"Длинный", 1, true});
        });
        // Channel commands are off until the converter is connected.
        QVERIFY(!frame.isCommandEnabled(40100));
        QVERIFY(frame.runCommand(40000));
        QVERIFY(frame.isCommandEnabled(40100));
        QVERIFY(!frame.isCommandEnabled(40180));
        // A hundred times the converter's pace: the first peaks within seconds.
        dynamic_cast<zelmora::CDemoAdc&>(app.devices().device(0)).setPeriodMs(1);

        QVERIFY(frame.runCommand(40100));
        auto& ch = static_cast<CChannel&>(app.devices().device(0).channel(0));
        QVERIFY(ch.isWaitingForStart());
        CWaitingWnd* waiting = controller.waitingWindow(ch);
        QVERIFY(waiting != nullptr);
        QCOMPARE(waiting->windowTitle(), QStringLiteral("Запуск, прибор 1 (Демо АЦП)"));
        QVERIFY(waiting->findChild<QLabel*>("channelLine")->text().contains("Метод: Длинный"));
        QVERIFY(waiting->showsReady());  // the converter is always ready
        QVERIFY(waiting->startButton()->isVisible());
        QVERIFY(!waiting->prepareButton()->isVisible());
        // While waiting, neither a second start nor a stop.
        QVERIFY(!frame.isCommandEnabled(40100));
        QVERIFY(!frame.isCommandEnabled(40180));

        QTest::mouseClick(waiting->startButton(), Qt::LeftButton);
        QVERIFY(ch.isRecording());
        QTRY_VERIFY(controller.waitingWindow(ch) == nullptr);
        CRecordingWnd* w = controller.recordingWindow(ch);
        QVERIFY(w != nullptr);
        QCOMPARE(w->windowTitle(), QStringLiteral("Прибор 1 (Демо АЦП), канал 1; метод Длинный"));
        QCOMPARE(frame.shownBand(), 183);
        QCOMPARE(sounds, QStringList{"start.wav"});
        QVERIFY(frame.isCommandChecked(40020));
        QVERIFY(frame.isCommandEnabled(40180));
        QTRY_VERIFY_WITH_TIMEOUT(w->view()->pointCount() >= 1500, 20000);
        QVERIFY(w->statusText().startsWith("Длинный              "));
        QVERIFY(w->statusText().contains(" мин / 30 мин,  "));
        QVERIFY(w->statusText().endsWith(" мВ;              Время, мин"));

        // The window's commands through the main window while it is active.
        QVERIFY(frame.isCommandEnabled(zelmora::gui::command::kAddFiveMinutes));
        QVERIFY(!frame.isCommandEnabled(zelmora::gui::command::kStopSeries));  // no series
        QVERIFY(frame.runCommand(zelmora::gui::command::kAddFiveMinutes));
        QCOMPARE(ch.runTime(), 35.0);
        QCOMPARE(w->view()->timeSpan(), 35.0);
        QVERIFY(frame.runCommand(zelmora::gui::command::kAllByHeight));

        // The picture of the window as the operator sees it.
        w->resize(800, 450);
        w->tick();
        const QImage shot = w->grab().toImage();
        QVERIFY(shot.save(QString::fromStdString(picturePath("recording_wnd.png").string())));
        QVERIFY(w->view()->lastFrameMs() < 30.0);

        // "Disconect2": the stop is asked; "Нет" keeps recording.
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.disconect2 = true; });
        {
            MessageLog log;
            log.answers = {QMessageBox::No, QMessageBox::Yes};
            QVERIFY(!frame.runCommand(zelmora::gui::command::kStopRecording));
            QVERIFY(ch.isRecording());
            QVERIFY(log.saw("Остановить запись с канала 1 прибора 1 (Демо АЦП)?"));
            // Closing the window asks the same; "Да" stops.
            w->close();
            QVERIFY(!ch.isRecording());
        }
        QTRY_VERIFY(controller.recordingWindow(ch) == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(frame.activeChromatogram() != nullptr, 10000);
        zelmora::gui::CChildFrame* child = frame.activeChromatogram();
        const fs::path file = child->document().pathName();
        QVERIFY(fs::exists(file));
        QVERIFY(file.filename().string().rfind("Длинный_", 0) == 0);
        QVERIFY(!child->document().isModified());
        QVERIFY(child->document().sampleCount() >= 1500);
        QCOMPARE(sounds, (QStringList{"start.wav", "stop.wav"}));
        QCOMPARE(frame.shownBand(), 129);
        QVERIFY(zelmora::RecordingJournal::list(controller.journalFolder()).empty());
        QVERIFY(frame.runCommand(40000));  // disconnect
    }

    // The converter's own start signal starts the waiting third channel; the
    // run time ends the recording and the chromatogram opens, processed.
    // "Канал 1   Детектор: ...   Метод: ...": the detector only where there is one.
    void waitingLineNamesTheDetector() {
        DetectorDevice dev;
        QVERIFY(dev.init(0, CChannel::factory(nullptr)));
        QVERIFY(dev.channelCount() >= 2);
        auto& first = static_cast<CChannel&>(dev.channel(0));
        auto& second = static_cast<CChannel&>(dev.channel(1));
        first.SetMethod("Газ", 1, true);
        second.SetMethod("Газ", 1, true);
        CWaitingWnd one(first, 0, nullptr);
        QCOMPARE(one.findChild<QLabel*>("channelLine")->text(),
                 QStringLiteral("Канал 1   Детектор: Измеритель малых токов 1   Метод: Газ"));
        CWaitingWnd two(second, 1, nullptr);
        QCOMPARE(two.findChild<QLabel*>("channelLine")->text(),
                 QStringLiteral("Канал 2   Метод: Газ"));
    }

    void startSignalRecordsARunToItsEnd() {
        auto& qt = static_cast<QApplication&>(*QCoreApplication::instance());
        zelmora::gui::CZelmoraApp app(qt);
        zelmora::gui::CMainFrame& frame = app.mainFrame();
        frame.show();
        app.recording().setSoundPlayer([](const QString&) {});
        app.recording().setMethodChooser([](QWidget*, const QString&) {
            return std::optional<ChannelMethodChoice>(ChannelMethodChoice{"Короткий", 2, true});
        });
        auto* demo = dynamic_cast<zelmora::CDemoAdc*>(&app.devices().device(0));
        QVERIFY(demo != nullptr);
        demo->setPeriodMs(10);
        QVERIFY(frame.runCommand(40000));
        QSignalSpy finished(&app.recording(),
                            &zelmora::gui::CRecordingController::chromatogramFinished);
        QVERIFY(frame.runCommand(40100 + 2));
        // Two analyses, each started by the converter, each saved.
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
        auto& ch = static_cast<CChannel&>(app.devices().device(0).channel(2));
        QCOMPARE(ch.seriesRemaining(), 0);
        QTRY_VERIFY(!ch.isWaitingForStart());
        QCOMPARE(frame.chromatograms().size(), 2);
        QStringList paths;
        for (const auto& call : finished) {
            QVERIFY(call.at(1).toBool());
            paths << call.at(0).toString();
        }
        QVERIFY(paths[0] != paths[1]);
        for (int i = 0; i < 2; ++i) {
            zelmora::CZelmoraDoc back;
            QVERIFY(back.Read(paths[i].toStdString()));
            QCOMPARE(back.sampleCount(), std::size_t{30});
            QCOMPARE(back.passport.numberInSeries, i + 1);
            QCOMPARE(back.passport.method, std::string("Короткий"));
        }
        QVERIFY(frame.runCommand(40000));
    }

    // A journal left by a crash: the program offers to recover it at start
    // and opens the chromatogram it makes.
    void journalLeftByACrashIsRecoveredAtStart() {
        zelmora::JournalInfo info;
        info.deviceName = "Демо АЦП";
        info.method = "Короткий";
        info.dt = 1.0 / 600;
        info.t0 = info.dt / 2;
        info.runTime = 0.05;
        info.analysisTime = 1'765'432'100;
        const fs::path folder =
            zelmora::RecordingJournal::folderIn(zelmora::paths::defaultDataFolder());
        {
            auto j = zelmora::RecordingJournal::create(folder, info,
                                                       zelmora::Passport(info.analysisTime));
            QVERIFY(j.ok());
            std::vector<float> pts(25, 2.5f);
            (*j)->appendPoints(pts.data(), pts.size());
            QVERIFY((*j)->flush().ok());
        }
        auto& qt = static_cast<QApplication&>(*QCoreApplication::instance());
        zelmora::gui::CZelmoraApp app(qt);
        MessageLog log;
        log.answers = {QMessageBox::Yes};
        QCOMPARE(app.offerRecovery(), 1);
        QVERIFY(log.saw("прерванные сбоем"));
        zelmora::gui::CChildFrame* child = app.mainFrame().activeChromatogram();
        QVERIFY(child != nullptr);
        QCOMPARE(child->document().sampleCount(), std::size_t{25});
        QVERIFY(
            QString::fromStdString(child->document().passport.comment).contains("Запись прервана"));
        QVERIFY(zelmora::RecordingJournal::list(folder).empty());
    }

    // An hour at 20 points per second drawn in under 30 ms a frame.
    void anHourOfPointsDrawsWithinAFrame() {
        zelmora::gui::CRecordingView view;
        view.resize(1200, 700);
        view.setTimeBase(1.0 / 2400, 1.0 / 1200);
        view.setRunTime(60);
        std::vector<float> points(72000);
        for (std::size_t i = 0; i < points.size(); ++i)
            points[i] = static_cast<float>(10 * std::exp(-std::pow((i % 6000) - 3000.0, 2) / 2e5) +
                                           0.01 * std::sin(i * 0.3));
        view.append(points, 0);
        view.showAll();
        double worst = 0;
        for (int i = 0; i < 5; ++i) {
            view.grab();
            worst = std::max(worst, view.lastFrameMs());
        }
        qInfo("frame time of a one-hour chromatogram: %.2f ms", worst);
        QVERIFY(worst < 30.0);
        QVERIFY(view.highValue() > 10.0 && view.lowValue() < 0.0);
    }
};

QTEST_MAIN(RecordingWndTest)
#include "recording_wnd_test.moc"
