// The recording channel on a stand-in instrument: arming and the start
// guard, the signal array of the run, stopping once from two threads, a
// series numbered 1, 2, 3, the start-button rule near the start, and the
// journal that a crash leaves behind turned back into a chromatogram. A queue
// worked through on the simulated converter hands each sample's results to
// the laboratory's export program (a small script that keeps what it got);
// a missing program, one that refuses and an unwritable temporary folder
// leave work-log lines and the queue going on. A method that inverts a
// detector has its signal recorded negated.

#include "instruments/channel.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <thread>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "instruments/demo_adc.h"
#include "instruments/device.h"
#include "instruments/device_types.h"
#include "instruments/ostrel_adc.h"
#include "instruments/queue_recording_link.h"
#include "instruments/start_buttons.h"
#include "method/document_method.h"
#include "method/method_file.h"
#include "processing/demo_sample.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

// An instrument without a line: open only sets it running; the test hands
// the samples to its channels and counts the hooks.
class StandInDevice : public CDevice {
  public:
    explicit StandInDevice(double rate) : rate_(rate) {}
    int type() const override { return static_cast<int>(DeviceType::Ostrel); }
    double sampleRate(int) const override { return rate_; }
    bool beginRun() override { return allowRun.load(); }
    void onRecordingStarted(int) override { ++started; }
    void onRecordingStopped(int) override { ++stopped; }
    void onStartCancelled(int) override { ++cancelled; }
    bool invertsDetectorsItself() const override { return invertsItself.load(); }
    void onMethodStarted(int c) override {
        ++methodStarts;
        CDevice::onMethodStarted(c);
    }

    std::atomic<int> started{0}, stopped{0}, cancelled{0}, methodStarts{0};
    std::atomic<bool> allowRun{true};
    std::atomic<bool> invertsItself{false};
    std::vector<int> commands;  // guarded by commandsMutex

    std::mutex commandsMutex;

  protected:
    bool openDevice() override {
        setRunning(true);
        markChannelsActive(true);
        return true;
    }
    void onReceive(const std::uint8_t*, std::size_t) override {}

  private:
    double rate_;
};

class TestHost : public ChannelHost {
  public:
    explicit TestHost(const fs::path& home) : home_(home) {
        opts.autoSave = true;
        opts.openPath = (home / "chrom").string();
    }
    void post(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    // Runs the posted work as the interface thread's message loop would.
    int drain() {
        int n = 0;
        for (;;) {
            std::function<void()> w;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty())
                    return n;
                w = std::move(queue_.front());
                queue_.pop_front();
            }
            w();
            ++n;
        }
    }
    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }
    MessageSink& messages() override { return sink; }
    ProgramOptions options() const override { return opts; }
    std::time_t startTime() override { return nextTime++; }
    fs::path journalFolder() const override { return home_ / "Recovery"; }
    void playSound(const std::string& name) override { sounds.push_back(name); }
    void showWaiting(CChannel&) override { ++waitingShown; }
    void closeWaiting(CChannel&) override { ++waitingClosed; }
    void recordingStarted(CChannel&) override { ++windowsOpened; }
    void editPassport(CZelmoraDoc& doc) override {
        if (onEditPassport)
            onEditPassport(doc);
    }
    std::function<void(CZelmoraDoc&)> onEditPassport;
    void recordingEnded(CChannel&) override { ++windowsClosed; }
    void chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>& f) override {
        results.push_back(f);
        docs.push_back(std::move(doc));
    }

    ProgramOptions opts;
    RecordingMessageSink sink;
    std::time_t nextTime = 1'765'000'000;
    std::vector<std::string> sounds;
    int waitingShown = 0, waitingClosed = 0, windowsOpened = 0, windowsClosed = 0;
    std::vector<Result<FinishedRecording>> results;
    std::vector<std::unique_ptr<CZelmoraDoc>> docs;

  private:
    fs::path home_;
    std::mutex mutex_;  // guards queue_
    std::deque<std::function<void()>> queue_;
};

void writeMethod(const std::string& name, float minutes, float rate) {
    Method m;
    m.capture.analysisTime = minutes;
    m.capture.samplingRate = rate;
    const fs::path folder = ProgramOptions().methodFolder();
    ASSERT_TRUE(paths::ensureFolder(folder));
    ASSERT_TRUE(paths::writeFileAtomically(folder / (name + ".mtd"), writeMethodFile(m)));
}

class ChannelTest : public ::testing::Test {
  protected:
    void SetUp() override { installFolderMethodLoader(); }
    void make(double deviceRate) {
        dev = std::make_unique<StandInDevice>(deviceRate);
        ASSERT_TRUE(dev->init(0, CChannel::factory(&host)));
        ASSERT_TRUE(dev->open());
    }
    CChannel& ch(int c = 0) { return static_cast<CChannel&>(dev->channel(c)); }
    void feed(int n, double v = 1.0, int c = 0) {
        for (int i = 0; i < n; ++i)
            ch(c).addSample(v + i * 1e-3);
    }

    test::TempDir tmp;
    TestHost host{tmp.path()};
    std::unique_ptr<StandInDevice> dev;
};

TEST_F(ChannelTest, ThirtyMinutesAtThreePointsFillFiftyFourHundredAndStopCompleted) {
    writeMethod("Run30", 30.0f, 3.0f);
    make(3.0);
    ch().SetMethod("Run30", 1, true);
    ASSERT_TRUE(ch().RecordNow());
    EXPECT_TRUE(ch().isRecording());
    EXPECT_EQ(ch().capacity(), 5400u);
    EXPECT_EQ(dev->started.load(), 1);
    EXPECT_EQ(host.windowsOpened, 1);
    feed(5399);
    EXPECT_TRUE(ch().isRecording());
    feed(1);  // the 5400th point
    EXPECT_FALSE(ch().isRecording());
    feed(10);  // after the end: ignored
    EXPECT_EQ(ch().pointCount(), 5400u);
    EXPECT_EQ(dev->stopped.load(), 1);
    host.drain();
    ASSERT_EQ(host.results.size(), 1u);
    ASSERT_TRUE(host.results[0]) << host.results[0].message();
    const FinishedRecording& f = *host.results[0];
    EXPECT_TRUE(f.saved);
    EXPECT_EQ(f.path.filename().string().rfind("Run30_", 0), 0u);
    // The file holds every point at the method's time base, and the journal is gone.
    CZelmoraDoc back;
    ASSERT_TRUE(back.Read(f.path));
    ASSERT_EQ(back.sampleCount(), 5400u);
    EXPECT_NEAR(back.dt(), 1.0 / 180.0, 1e-9);  // the file keeps the step in single precision
    EXPECT_NEAR(back.t0(), 0.5 / 180.0, 1e-9);
    EXPECT_FLOAT_EQ(back.sample(5398), static_cast<float>(1.0 + 5398 * 1e-3));
    EXPECT_FLOAT_EQ(back.sample(5399), 1.0f);
    EXPECT_EQ(back.passport.numberInSeries, 1);
    EXPECT_EQ(back.passport.analysisTime, 1'765'000'000);
    EXPECT_TRUE(RecordingJournal::list(host.journalFolder()).empty());
}

TEST_F(ChannelTest, RecordNowWithoutMethodSaysSoAndStartsNothing) {
    make(3.0);
    ch().SetMethod("", 1, true);
    EXPECT_FALSE(ch().RecordNow());
    ASSERT_EQ(host.sink.entries.size(), 1u);
    EXPECT_NE(host.sink.entries[0].text.find("Не могу запустить запись по каналу 1, прибор 1"),
              std::string::npos);
    EXPECT_FALSE(ch().isRecording());
    // A method that cannot be read: nothing starts either.
    ch().SetMethod("НетТакого", 1, true);
    EXPECT_FALSE(ch().RecordNow());
    EXPECT_FALSE(ch().isRecording());
    EXPECT_EQ(ch().document(), nullptr);
}

TEST_F(ChannelTest, ArmedChannelStartsOnceForManyTriggersAndCancelDestroysTheDocument) {
    writeMethod("Short", 0.1f, 3.0f);
    make(3.0);
    ch().SetMethod("Short", 1, true);
    ASSERT_TRUE(ch().Arm());
    EXPECT_TRUE(ch().isWaitingForStart());
    EXPECT_EQ(host.waitingShown, 1);
    EXPECT_EQ(dev->methodStarts.load(), 1);
    feed(5);  // not recording yet: ignored
    EXPECT_EQ(ch().pointCount(), 0u);
    // Three triggers from the reader thread before the window handles one.
    std::thread t([&] {
        for (int i = 0; i < 3; ++i)
            ch().TriggerStart();
    });
    t.join();
    EXPECT_EQ(host.pending(), 1u);
    host.drain();
    EXPECT_TRUE(ch().isRecording());
    EXPECT_EQ(dev->started.load(), 1);
    EXPECT_EQ(host.waitingClosed, 1);
    ch().Stop(true);
    host.drain();

    // A cancel: the device hears of it and the prepared document goes.
    ch().SetMethod("Short", 1, true);
    ASSERT_TRUE(ch().Arm());
    ch().TriggerCancel();
    ch().TriggerStart();  // after the cancel was posted: nothing more
    host.drain();
    EXPECT_FALSE(ch().isWaitingForStart());
    EXPECT_FALSE(ch().isRecording());
    EXPECT_EQ(dev->cancelled.load(), 1);
    EXPECT_EQ(ch().document(), nullptr);

    // A method whose instrument settings are not used is not the
    // instrument's last loaded method.
    dev->setLastLoadMethod("Прежний");
    ch().SetMethod("Short", 1, false);
    ASSERT_TRUE(ch().Arm());
    EXPECT_EQ(dev->lastLoadMethod(), "Прежний");
    ch().CancelWaiting();
    ch().SetMethod("Short", 1, true);

    // The instrument refuses the run (not ready): the start is a cancel.
    ASSERT_TRUE(ch().Arm());
    EXPECT_EQ(dev->lastLoadMethod(), "Short");
    dev->allowRun = false;
    ch().TriggerStart();
    host.drain();
    EXPECT_FALSE(ch().isRecording());
    EXPECT_EQ(dev->cancelled.load(), 3);
}

TEST_F(ChannelTest, DeviceWideTriggerAndCancelReachOnlyWaitingChannels) {
    writeMethod("Both", 1.0f, 3.0f);
    make(3.0);
    ch(0).SetMethod("Both", 1, true);
    ch(1).SetMethod("Both", 1, true);
    ASSERT_TRUE(ch(0).Arm());
    ASSERT_TRUE(ch(1).Arm());
    CancelAll(*dev);
    host.drain();
    EXPECT_FALSE(ch(0).isWaitingForStart());
    EXPECT_FALSE(ch(1).isWaitingForStart());
    EXPECT_EQ(dev->cancelled.load(), 2);
    ASSERT_TRUE(ch(0).Arm());
    TriggerAll(*dev);
    TriggerAll(*dev);
    host.drain();
    EXPECT_TRUE(ch(0).isRecording());
    EXPECT_FALSE(ch(1).isRecording());  // idle: a trigger does not start it
    EXPECT_EQ(dev->started.load(), 1);
    ch(0).Stop(true);
    host.drain();
}

TEST_F(ChannelTest, StopFromTwoThreadsStopsOnceAndViewOnlyNeverTellsTheDevice) {
    writeMethod("Long", 10.0f, 20.0f);
    make(20.0);
    ch().SetMethod("Long", 1, true);
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(ch().RecordNow());
        feed(50);
        if (round == 0) {
            // Stopped, its chromatogram not made yet: no new start takes
            // the document away.
            ch().Stop(true);
            EXPECT_TRUE(ch().isFinishing());
            EXPECT_FALSE(ch().RecordNow());
            EXPECT_FALSE(ch().Arm());
            host.drain();
            EXPECT_FALSE(ch().isFinishing());
            ASSERT_TRUE(ch().RecordNow());
            feed(50);
        }
        std::atomic<bool> go{false};
        std::thread a([&] {
            while (!go) {
            }
            ch().Stop(false);
        });
        std::thread b([&] {
            while (!go) {
            }
            ch().Stop(true);
        });
        go = true;
        a.join();
        b.join();
        host.drain();
    }
    EXPECT_EQ(dev->stopped.load(), 21);
    EXPECT_EQ(host.results.size(), 21u);
    EXPECT_EQ(ch().finishedCount(), 21);

    // "Просмотр канала": the instrument is told neither of start nor of stop.
    const int started = dev->started, stopped = dev->stopped;
    ASSERT_TRUE(ch().Arm());
    ch().StartFromWaiting(false);
    EXPECT_TRUE(ch().isRecording());
    feed(5);
    ch().Stop(true);
    host.drain();
    EXPECT_EQ(dev->started.load(), started);
    EXPECT_EQ(dev->stopped.load(), stopped);
}

// "CheckOpenPassport": the passport dialog of "Записать хроматограмму" is up
// while the recording runs; a recording that ends meanwhile waits for the
// dialog, and the chromatogram carries what the operator entered.
TEST_F(ChannelTest, RecordingEndingDuringThePassportDialogWaitsForIt) {
    writeMethod("Pass", 0.05f, 10.0f);  // 30 points
    make(10.0);
    host.opts.checkOpenPassport = true;
    host.onEditPassport = [&](CZelmoraDoc& doc) {
        feed(30);  // the run ends while the dialog is open
        host.drain();
        EXPECT_TRUE(host.results.empty());
        doc.passport.sample = "Проба из диалога";
    };
    ch().SetMethod("Pass", 1, true);
    ASSERT_TRUE(ch().RecordNow());
    ASSERT_EQ(host.results.size(), 1u);
    ASSERT_TRUE(host.results[0]);
    CZelmoraDoc back;
    ASSERT_TRUE(back.Read(host.results[0]->path));
    EXPECT_EQ(back.passport.sample, "Проба из диалога");
    EXPECT_EQ(back.sampleCount(), 30u);
}

TEST_F(ChannelTest, SeriesOfThreeRearmsTwiceAndNumbersOneTwoThree) {
    writeMethod("Series", 0.05f, 10.0f);  // 30 points
    make(10.0);
    ch().SetMethod("Series", 3, true);
    ASSERT_TRUE(ch().Arm());
    std::vector<fs::path> files;
    for (int run = 1; run <= 3; ++run) {
        ASSERT_TRUE(ch().isWaitingForStart()) << run;
        ch().TriggerStart();
        host.drain();
        ASSERT_TRUE(ch().isRecording()) << run;
        feed(30);
        EXPECT_FALSE(ch().isRecording());
        host.drain();
        ASSERT_EQ(host.results.size(), static_cast<std::size_t>(run));
        ASSERT_TRUE(host.results.back());
        files.push_back(host.results.back()->path);
    }
    EXPECT_FALSE(ch().isWaitingForStart());
    EXPECT_EQ(host.waitingShown, 3);
    EXPECT_EQ(ch().seriesRemaining(), 0);
    for (int i = 0; i < 3; ++i) {
        CZelmoraDoc back;
        ASSERT_TRUE(back.Read(files[static_cast<std::size_t>(i)]));
        EXPECT_EQ(back.passport.numberInSeries, i + 1);
    }
    // Distinct analysis times give distinct files.
    EXPECT_NE(files[0], files[1]);
    EXPECT_NE(files[1], files[2]);

    // A series ended early: the running analysis is the last one.
    ch().SetMethod("Series", 3, true);
    ASSERT_TRUE(ch().Arm());
    ch().TriggerStart();
    host.drain();
    ch().EndSeries();
    feed(30);
    host.drain();
    EXPECT_FALSE(ch().isWaitingForStart());
    EXPECT_EQ(ch().seriesRemaining(), 0);
}

TEST_F(ChannelTest, QueueOfThreeSamplesWorkedThroughByASeriesOfThree) {
    writeMethod("Бензин", 0.05f, 10.0f);  // 30 points
    make(10.0);
    std::string xml = "<?xml version=\"1.0\"?><Document>";
    for (int n = 1; n <= 3; ++n)
        xml += "<analyse n=\"" + std::to_string(n) + "\"><comments>партия " + std::to_string(n) +
               "</comments><info>АИ-9" + std::to_string(n) +
               "</info><organization>Цех 1</organization><type>А</type><id>" +
               std::to_string(700 + n) + "</id><vial>" + std::to_string(n) +
               "</vial><status>0</status><MSt>0.5</MSt><MProbe>2</MProbe></analyse>";
    xml += "</Document>";
    test::writeFile(tmp / "aq-20261209.xml", xml);
    AnalysisQueue queue(tmp / "queue.xml");
    ASSERT_TRUE(queue.load(tmp / "aq-20261209.xml").ok());
    SettingsStore settings(tmp / "settings", true);
    QueueSettings qs;
    qs.device = dev->deviceIndex();
    qs.channel = 0;
    qs.workingMethod = "Бензин";
    qs.save(settings);
    RecordingMessageSink messages;
    ch().setQueueLink(std::make_shared<QueueRecordingLink>(queue, settings, messages));
    host.opts.enableKGK = true;

    ch().SetMethod("Бензин", 3, true);
    ASSERT_TRUE(ch().Arm());
    for (int run = 1; run <= 3; ++run) {
        ch().TriggerStart();
        host.drain();
        ASSERT_TRUE(ch().isRecording()) << run;
        EXPECT_EQ(queue.firstInWork(), run - 1);
        feed(30);
        host.drain();
        ASSERT_EQ(host.results.size(), static_cast<std::size_t>(run));
        ASSERT_TRUE(host.results.back());
        CZelmoraDoc back;
        ASSERT_TRUE(back.Read(host.results.back()->path));
        const std::string n = std::to_string(run);
        EXPECT_EQ(back.passport.sample, "Виала № " + n + " АИ-9" + n + " # 70" + n);
        EXPECT_EQ(back.passport.comment, "партия " + n);
        EXPECT_EQ(back.passport.point, "Цех 1");
        EXPECT_DOUBLE_EQ(back.passport.sampleAmount, 2);
        EXPECT_EQ(queue.entries()[static_cast<std::size_t>(run - 1)].status, kQueueProcessed);
    }
    EXPECT_EQ(queue.firstNew(), -1);
    EXPECT_TRUE(messages.entries.empty());
}

// The queue's export program as a laboratory would have it: a script that
// notes its arguments and keeps a copy of the result file it was given.
fs::path writeExportScript(const fs::path& folder) {
    const fs::path script = folder / "lims put.sh";
    test::writeFile(script,
                    "#!/bin/sh\n"
                    "here=$(dirname \"$0\")\n"
                    "for a in \"$@\"; do printf '%s|' \"$a\"; done >> \"$here/args.log\"\n"
                    "echo >> \"$here/args.log\"\n"
                    "cp \"$3\" \"$here/$(basename \"$4\").xml\" || exit 5\n"
                    "exit \"${EXIT_CODE:-0}\"\n");
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

std::vector<std::string> splitAt(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + 1)
        parts.push_back(s.substr(from, at - from));
    if (from < s.size())
        parts.push_back(s.substr(from));
    return parts;
}

std::string queueOf(std::initializer_list<int> ids) {
    std::string xml = "<?xml version=\"1.0\"?><Document>";
    int n = 0;
    for (int id : ids) {
        ++n;
        xml += "<analyse n=\"" + std::to_string(n) + "\"><comments>партия</comments><info>Газ " +
               std::to_string(n) + "</info><organization>Цех 2</organization><type>Б</type><id>" +
               std::to_string(id) + "</id><vial>" + std::to_string(n) +
               "</vial><status>0</status><MSt>0</MSt><MProbe>1</MProbe></analyse>";
    }
    return xml + "</Document>";
}

// Runs the simulated converter's third channel (started by the converter
// itself once armed) through a series of `count` analyses.
void recordQueueSeries(TestHost& host, CDemoAdc& adc, int count) {
    auto& ch = dynamic_cast<CChannel&>(adc.channel(2));
    const std::size_t before = host.results.size();
    ch.SetMethod("Газ КЖК", count, true);
    ASSERT_TRUE(ch.Arm());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (host.results.size() < before + static_cast<std::size_t>(count)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the series did not finish";
        host.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    host.drain();
}

TEST_F(ChannelTest, QueueSamplesOnTheSimulatedConverterGoToTheExportProgram) {
    if (!CWorkLog::instance().active())
        CWorkLog::instance().start({}, "test", "test");
    writeMethod("Газ КЖК", 0.05f, 10.0f);  // 30 points
    const fs::path lims = tmp / "lims";
    fs::create_directories(lims);
    const fs::path script = writeExportScript(lims);
    const fs::path xmlFolder = tmp / "xml";
    fs::create_directories(xmlFolder);

    test::writeFile(tmp / "aq-20261210.xml", queueOf({501, 502}));
    AnalysisQueue queue(tmp / "queue.xml");
    ASSERT_TRUE(queue.load(tmp / "aq-20261210.xml").ok());
    SettingsStore settings(tmp / "settings", true);
    QueueSettings qs;
    qs.device = 0;
    qs.channel = 2;
    qs.workingMethod = "Газ КЖК";
    qs.exportProgram = "\"" + script.string() + "\" --lims \"партия 7\"";
    qs.save(settings);
    RecordingMessageSink messages;
    auto link = std::make_shared<QueueRecordingLink>(queue, settings, messages);
    link->setTemporaryFolder(xmlFolder);
    host.opts.enableKGK = true;

    CDemoAdc adc;
    ASSERT_TRUE(adc.init(0, CChannel::factory(&host)));
    adc.setPeriodMs(1);
    dynamic_cast<CChannel&>(adc.channel(2)).setQueueLink(link);
    ASSERT_TRUE(adc.open());
    recordQueueSeries(host, adc, 2);

    ASSERT_EQ(host.results.size(), 2u);
    const std::vector<std::string> calls = splitAt(test::readFile(lims / "args.log"), '\n');
    ASSERT_EQ(calls.size(), 2u) << test::readFile(lims / "args.log");
    for (int i = 0; i < 2; ++i) {
        const auto& f = host.results[static_cast<std::size_t>(i)];
        ASSERT_TRUE(f) << f.message();
        EXPECT_TRUE(f->saved);
        EXPECT_TRUE(f->handedOver);
        // The program's own words, then the result file and the chromatogram.
        const std::vector<std::string> args = splitAt(calls[static_cast<std::size_t>(i)], '|');
        ASSERT_GE(args.size(), 4u);
        EXPECT_EQ(args[0], "--lims");
        EXPECT_EQ(args[1], "партия 7");
        EXPECT_EQ(fs::path(args[2]).parent_path(), xmlFolder);
        EXPECT_EQ(fs::path(args[2]).extension(), ".xml");
        EXPECT_FALSE(fs::exists(args[2]));  // removed once the program took it
        EXPECT_EQ(fs::path(args[3]), f->path);
        EXPECT_TRUE(fs::exists(f->path));
        // The result file as the program got it: the sample's analysis number
        // and the hydrocarbon keys (no such peaks here: 0.001 each).
        const std::string xml = test::readFile(lims / (f->path.filename().string() + ".xml"));
        const std::string id = std::to_string(501 + i);
        EXPECT_NE(xml.find("<id dt:dt=\"string\">" + id + "</id>"), std::string::npos) << xml;
        EXPECT_NE(xml.find("xmlns:dt=\"urn:schemas-microsoft-com:datatypes\""), std::string::npos);
        EXPECT_NE(xml.find("<ic6 dt:dt=\"r8\">0.001</ic6>"), std::string::npos) << xml;
        EXPECT_EQ(queue.entries()[static_cast<std::size_t>(i)].status, kQueueProcessed);
    }
    EXPECT_TRUE(fs::is_empty(xmlFolder));
    std::string log = text::fromCp1251(test::readFile(CWorkLog::instance().path()));
    EXPECT_NE(log.find("Результаты анализа 502 переданы программе экспорта"), std::string::npos);

    // Bad paths: a program that is not there, one that refuses the results,
    // a temporary folder that does not exist. Each is a work-log line; the
    // samples are processed and the queue goes on.
    test::writeFile(tmp / "aq-20261211.xml", queueOf({601, 602, 603}));
    ASSERT_TRUE(queue.load(tmp / "aq-20261211.xml").ok());
    qs.exportProgram = "\"" + (tmp / "нет такой" / "lims").string() + "\"";
    qs.save(settings);
    recordQueueSeries(host, adc, 1);
    qs.exportProgram = "/bin/sh -c \"exit 3\"";
    qs.save(settings);
    recordQueueSeries(host, adc, 1);
    qs.exportProgram = "\"" + script.string() + "\"";
    qs.save(settings);
    link->setTemporaryFolder(tmp / "нет такой");
    recordQueueSeries(host, adc, 1);
    adc.close();
    ASSERT_EQ(host.results.size(), 5u);
    for (std::size_t i = 2; i < 5; ++i) {
        ASSERT_TRUE(host.results[i]) << host.results[i].message();
        EXPECT_TRUE(host.results[i]->saved);
        EXPECT_FALSE(host.results[i]->handedOver);
        EXPECT_EQ(queue.entries()[i - 2].status, kQueueProcessed);
    }
    log = text::fromCp1251(test::readFile(CWorkLog::instance().path()));
    EXPECT_NE(log.find("! Ошибка запуска приложения экспорта '\"" +
                       (tmp / "нет такой" / "lims").string() + "\"'"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("! Программа экспорта вернула код завершения 3"), std::string::npos);
    EXPECT_NE(
        log.find("Не удаётся записать временный файл в папке " + (tmp / "нет такой").string()),
        std::string::npos);
    EXPECT_EQ(splitAt(test::readFile(lims / "args.log"), '\n').size(), 2u);
    EXPECT_TRUE(messages.entries.empty());
}

TEST_F(ChannelTest, InvertedDetectorOfTheMethodIsRecordedUpright) {
    // The method's chromatograph settings invert detector 1, not detector 2.
    Method m;
    m.capture.analysisTime = 0.05f;  // 30 points at 10 per second
    m.capture.samplingRate = 10.0f;
    m.kalder.emplace();
    m.kalder->invertDetector = {1, 0, 0, 0};
    const fs::path folder = ProgramOptions().methodFolder();
    ASSERT_TRUE(paths::ensureFolder(folder));
    ASSERT_TRUE(paths::writeFileAtomically(folder / "Инверсия.mtd", writeMethodFile(m)));
    writeMethod("Прямой", 0.05f, 10.0f);
    make(10.0);
    EXPECT_EQ(signalPolarity(&m, 0), -1);
    EXPECT_EQ(signalPolarity(&m, 1), 1);
    EXPECT_EQ(signalPolarity(&m, 4), 1);  // an auxiliary channel has no detector
    EXPECT_EQ(signalPolarity(nullptr, 0), 1);

    const auto recordArmed = [&](int c, const std::string& method) -> fs::path {
        ch(c).SetMethod(method, 1, false);
        EXPECT_TRUE(ch(c).Arm());
        ch(c).TriggerStart();
        host.drain();
        EXPECT_TRUE(ch(c).isRecording());
        feed(30, 2.5, c);
        host.drain();
        if (host.results.empty() || !host.results.back())
            return {};
        return host.results.back()->path;
    };
    const auto firstSample = [](const fs::path& file) {
        CZelmoraDoc back;
        EXPECT_TRUE(back.Read(file)) << file;  // the file is read as any other
        return back.sampleCount() > 0 ? back.sample(0) : 0.0f;
    };
    // Detector 1 inverted: the signal comes out negated, in the file too.
    const fs::path inverted = recordArmed(0, "Инверсия");
    EXPECT_EQ(ch(0).polarity(), -1);
    EXPECT_FLOAT_EQ(firstSample(inverted), -2.5f);
    // Detector 2 of the same method, and detector 1 under another method:
    // as it comes.
    EXPECT_FLOAT_EQ(firstSample(recordArmed(1, "Инверсия")), 2.5f);
    EXPECT_FLOAT_EQ(firstSample(recordArmed(0, "Прямой")), 2.5f);
    EXPECT_EQ(ch(0).polarity(), 1);
    // "Записать хроматограмму" with the inverting method records the same
    // way as an armed start.
    ch(0).SetMethod("Инверсия", 1, false);
    ASSERT_TRUE(ch(0).RecordNow());
    feed(30, 2.5);
    host.drain();
    ASSERT_TRUE(host.results.back());
    EXPECT_FLOAT_EQ(firstSample(host.results.back()->path), -2.5f);
    // An instrument that turns the detector upright itself (the
    // chromatograph, from the same settings) is not negated twice.
    dev->invertsItself = true;
    EXPECT_FLOAT_EQ(firstSample(recordArmed(0, "Инверсия")), 2.5f);
    EXPECT_EQ(ch(0).polarity(), 1);
}

TEST_F(ChannelTest, StartButtonWithinATenthOfAMinuteDoesNotStop) {
    writeMethod("Btn", 5.0f, 3.0f);
    make(3.0);
    std::vector<int> commands;
    dev->setCommandSink([&](int id) { commands.push_back(id); });
    ch().SetMethod("Btn", 1, true);
    ASSERT_TRUE(ch().RecordNow());
    StartButtons buttons;
    feed(10);  // 10 points at 3 per second: 0.056 min
    buttons.update(*dev, {true, false});
    buttons.update(*dev, {false, false});
    buttons.update(*dev, {true, false});  // the second press of a double click
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(ch().isRecording());
    feed(10);  // 0.11 min
    buttons.update(*dev, {false, false});
    buttons.update(*dev, {true, false});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], command::kStop + command::channelKey(0, 0));
    ch().Stop(true);
    host.drain();
}

TEST_F(ChannelTest, AddTimeWidensTheArrayAndIdleSeriesChannelsAreNotRestarted) {
    writeMethod("Add", 0.1f, 10.0f);  // 60 points
    make(10.0);
    ch().SetMethod("Add", 1, true);
    ASSERT_TRUE(ch().RecordNow());
    feed(50);
    ch().AddTime();
    EXPECT_EQ(ch().capacity(), 60u + 3000u);
    feed(100);
    EXPECT_TRUE(ch().isRecording());
    EXPECT_NEAR(ch().recordedMinutes(), 150.0 / 600.0, 1e-9);
    ch().Stop(true);
    host.drain();

    std::vector<int> commands;
    dev->setCommandSink([&](int id) { commands.push_back(id); });
    ch(0).SetMethod("Add", 3, true);  // a series between its analyses
    static_cast<CChannel&>(dev->channel(0)).SetMethod("Add", 3, true);
    // Channel 0 is in a series under way once one analysis is done.
    ASSERT_TRUE(ch(0).Arm());
    ch(0).TriggerStart();
    host.drain();
    feed(60);
    host.drain();  // analysis 1 done, armed again
    ASSERT_TRUE(ch(0).isWaitingForStart());
    ch(0).CancelWaiting();  // the operator cancels the wait
    StartIdleChannels(*dev);
    // Channel 2 (idle, no series) is asked to record; channel 1 is not.
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], command::kRecord + command::channelKey(0, 1));
}

TEST_F(ChannelTest, JournalReadsBackAndStopsAtATornTail) {
    JournalInfo info;
    info.device = 1;
    info.channel = 0;
    info.deviceName = "Zelmora Ostrel";
    info.method = "M";
    info.t0 = 1.0 / 360;
    info.dt = 1.0 / 180;
    info.runTime = 30;
    info.analysisTime = 1'765'000'123;
    Passport p(info.analysisTime);
    p.sample = "Проба № 7";
    auto made = RecordingJournal::create(tmp / "Recovery", info, p);
    ASSERT_TRUE(made) << made.message();
    auto& j = **made;
    const std::vector<float> a = {1, 2, 3}, b = {4, 5};
    j.appendPoints(a.data(), a.size());
    ASSERT_TRUE(j.flush());
    j.appendPoints(b.data(), b.size());
    j.appendRunTime(35);
    ASSERT_TRUE(j.flush());
    const fs::path path = j.path();
    {
        // A record cut short by the crash, then garbage.
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << std::string("\x03\x10\x00\x00\x00\x01\x02", 7);
    }
    auto c = RecordingJournal::read(path);
    ASSERT_TRUE(c) << c.message();
    EXPECT_EQ(c->points, (std::vector<float>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(c->tornTail);
    EXPECT_FALSE(c->ended);
    EXPECT_EQ(c->info.device, 1);
    EXPECT_EQ(c->info.runTime, 35);
    EXPECT_EQ(c->info.method, "M");
    ASSERT_TRUE(c->hasPassport);
    EXPECT_EQ(c->passport.sample, "Проба № 7");
    // A flipped byte inside a record ends the reading there.
    std::string bytes = test::readFile(path);
    const std::size_t second = bytes.find(std::string("\x03\x08\x00\x00\x00", 5));
    ASSERT_NE(second, std::string::npos);
    bytes[second + 6] ^= 0x40;
    test::writeFile(path, bytes);
    c = RecordingJournal::read(path);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->points.size(), 3u);
    // Not a journal at all.
    test::writeFile(tmp / "x.zrj", "garbage");
    EXPECT_FALSE(RecordingJournal::read(tmp / "x.zrj"));
}

// A recording process killed with SIGKILL: its journal gives back every point
// written more than a second before the kill, processed and saved.
TEST_F(ChannelTest, KilledRecordingIsRecoveredUpToTheLastSecond) {
    writeMethod("Crash", 30.0f, 20.0f);
    const fs::path progress = tmp / "progress";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child records 20 points a second and notes how many it wrote.
        make(20.0);
        ch().SetMethod("Crash", 1, true);
        if (!ch().RecordNow())
            ::_exit(2);
        for (int i = 0;; ++i) {
            ch().addSample(100.0 + i);
            if (i % 20 == 19) {
                std::ofstream(progress, std::ios::trunc) << (i + 1) << "\n";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // Three seconds of recording, however slowly a loaded machine lets the
    // child write them.
    int before = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (before < 60 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        int noted = 0;
        if (std::ifstream(progress) >> noted)
            before = noted;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(before, 40);

    const auto journals = RecordingJournal::list(host.journalFolder());
    ASSERT_EQ(journals.size(), 1u);
    SilentMessageSink sink;
    auto r = recoverRecording(journals[0], sink, host.opts);
    ASSERT_TRUE(r) << r.message();
    // At most the last second (20 points) before the last note is missing.
    EXPECT_GE(r->points + 20, static_cast<std::size_t>(before));
    EXPECT_TRUE(r->finished.saved);
    EXPECT_FALSE(fs::exists(journals[0]));
    CZelmoraDoc back;
    ASSERT_TRUE(back.Read(r->finished.path));
    EXPECT_EQ(back.sampleCount(), r->points);
    for (std::size_t i = 0; i < back.sampleCount(); ++i)
        ASSERT_FLOAT_EQ(back.sample(i), 100.0f + static_cast<float>(i)) << i;
    EXPECT_NE(back.passport.comment.find("Запись прервана"), std::string::npos);
    EXPECT_EQ(back.passport.method, "Crash");
}

// The Ostrel converter's simulator on a pseudo-terminal, twenty times its
// pace: a two-minute method at 5 points per second gives the simulator's
// peaks at their times and areas, saved; a silent converter ends the next
// recording as interrupted, and the series stops there.
TEST_F(ChannelTest, OstrelSimulatorRunBecomesAProcessedChromatogram) {
    Method m = demoMethod();
    m.capture.analysisTime = 2.0f;
    m.capture.samplingRate = 5.0f;
    m.filter.kind = 0;
    m.marking.MarkingStart = 0.1f;
    const fs::path folder = ProgramOptions().methodFolder();
    ASSERT_TRUE(paths::ensureFolder(folder));
    ASSERT_TRUE(paths::writeFileAtomically(folder / "Ostrel2.mtd", writeMethodFile(m)));

    sim::SimConfig c;
    c.instrument = sim::Instrument::Ostrel;
    c.speed = 20;
    sim::SyntheticSignal sig;
    sig.baseline = 0.5;
    sig.peaks = {{30, 20, 2}, {60, 40, 3}, {90, 15, 2}};
    c.signals = {sig};
    // Silent from 2.5 minutes of its time on, for longer than the time-out.
    c.faults = {{sim::FaultKind::Silence, 1500, 0, 100000}};
    sim::PtySimulator simulator(c);
    std::string error;
    ASSERT_TRUE(simulator.start(&error)) << error;
    COstrelAdc dev;
    ASSERT_TRUE(dev.init(0, CChannel::factory(&host)));
    dev.setPortPath(simulator.path());
    dev.setReceiveTimeoutMs(1000);
    dev.setHandshakeTimeoutMs(2000);
    auto& channel = static_cast<CChannel&>(dev.channel(0));
    channel.SetMethod("Ostrel2", 2, true);
    ASSERT_TRUE(test::succeeded(dev.open()));
    ASSERT_TRUE(channel.Arm());
    channel.StartFromWaiting(true);
    ASSERT_TRUE(channel.isRecording());
    ASSERT_TRUE(test::eventually(
        [&] {
            host.drain();
            return !host.results.empty();
        },
        20000));
    ASSERT_TRUE(host.results[0]) << host.results[0].message();
    const CZelmoraDoc& doc = *host.docs[0];
    EXPECT_EQ(doc.sampleCount(), 600u);
    ASSERT_TRUE(doc.hasMethod);
    // Frames sent before the handshake's purge are not recorded: the trace
    // starts a few frames late, well within a second.
    const double expected[3][2] = {{0.5, 20 * 2}, {1.0, 40 * 3}, {1.5, 15 * 2}};
    ASSERT_GE(doc.peakCount(), 3u);
    for (const auto& e : expected) {
        const Peak* found = nullptr;
        for (std::size_t i = 0; i < doc.peakCount(); ++i)
            if (std::fabs(doc.peak(static_cast<long long>(i))->apexTime - e[0]) < 0.02)
                found = doc.peak(static_cast<long long>(i));
        ASSERT_NE(found, nullptr) << e[0];
        const double area = e[1] * std::sqrt(2 * M_PI) / 60.0;  // mV·min
        EXPECT_NEAR(found->area, area, 0.03 * area) << e[0];
    }
    EXPECT_TRUE(host.results[0]->saved);

    // The second analysis of the series: the converter falls silent.
    ASSERT_TRUE(test::eventually(
        [&] {
            host.drain();
            if (channel.isWaitingForStart())
                channel.StartFromWaiting(true);
            return host.results.size() >= 2;
        },
        20000));
    EXPECT_FALSE(dev.isRunning());
    EXPECT_LT(host.docs[1]->sampleCount(), 600u);
    EXPECT_GT(host.docs[1]->sampleCount(), 50u);
    EXPECT_FALSE(channel.isWaitingForStart());  // not armed again: the converter is gone
    EXPECT_TRUE(RecordingJournal::list(host.journalFolder()).empty());
}

}  // namespace
}  // namespace zelmora
