// The ".stg" chromatogram file: stream codecs, the whole file through the
// compound-file layer, damaged files, and the open and save flows.

#include "document/stg_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>

#include "app/program_settings.h"
#include "document/archive/archive.h"
#include "document/compound_file.h"
#include "document/results_store.h"
#include "document/zelmora_doc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

Passport fullPassport() {
    Passport p(1796740205);
    p.sample = "Газ природный";
    p.sample2 = "вторая строка";
    p.sampleAmount = 0.75;
    p.standardAmount = 3;
    p.norm = 98.5;
    p.samplingTime = 1796731200;
    p.place = "Компрессорная станция";
    p.point = "Точка 7";
    p.method = "Газ";
    p.duration = 25.5;
    p.calibration = 1;
    p.vial = 12;
    p.numberInSeries = 3;
    p.operatorName = "Петрова";
    p.detector = "ДТП";
    p.column = "HP-5";
    p.columnNumber = 44;
    p.grain = 5;
    p.diameter = 0.32;
    p.length = 30000;
    p.deadTime = 1.5;
    p.eluent = "Гелий";
    p.eluentFlow = 1.1;
    p.eluentPressure = 2.2;
    p.eluentTemperature = 3.3;
    p.reagent = "Водород";
    p.reagentFlow = 4.4;
    p.reagentPressure = 5.5;
    p.reagentTemperature = 6.6;
    p.databaseKey = 0;
    p.reserved = "резерв";
    p.comment = std::string(300, 'k');  // needs the 16-bit length form
    p.noise = 0.012;
    p.drift = 1.5;
    return p;
}

void fillDocument(CZelmoraDoc& doc, bool withProperties) {
    doc.signal.samples.resize(5000);
    for (std::size_t i = 0; i < doc.signal.samples.size(); ++i)
        doc.signal.samples[i] = static_cast<float>(std::sin(i * 0.01) * 100);
    doc.signal.t0 = 0.5;
    doc.signal.dt = 0.01;
    doc.carriedStep = 0.01;
    Peak a(1.0, 2.0), b(2.0, 2.5), c(3.0, 3.5);
    a.componentName = "Метан";
    a.concentration = 95.25;
    a.nextInGroup = 1;
    b.componentName = "Этан";
    b.isReference = 1;
    b.prevInGroup = 0;
    if (withProperties) {
        setProperty(a.properties, "Индекс", "100");
        setProperty(a.properties, "цвет", "");
    }
    doc.peaks.peaks = {a, b, c};
    if (withProperties)
        setProperty(doc.peaks.properties, "оператор", "Петрова");
    doc.peaks.renumber();
    doc.passport = fullPassport();
}

// A compound file holding exactly the given streams, in this order.
void writeStreams(const fs::path& path,
                  const std::vector<std::pair<const char*, std::string>>& streams) {
    Result<CompoundWriter> w = CompoundWriter::create(path);
    ASSERT_TRUE(w);
    for (const auto& [name, content] : streams)
        ASSERT_TRUE(w->addStream(name, content));
    ASSERT_TRUE(w->commit());
}

std::string floats(std::initializer_list<float> values) {
    ArchiveWriter w;
    for (float v : values)
        w.f32(v);
    return w.take();
}

std::string tableHeader(int version, int count) {
    ArchiveWriter w;
    w.u32(stg::kTableSignature1);
    w.u32(stg::kTableSignature2);
    w.i32(version);
    w.i32(count);
    return w.take();
}

// The streams of a valid small file, for tests that damage one of them.
std::vector<std::pair<const char*, std::string>> validStreams() {
    return {{"Raw_data", floats({1, 2, 3})},
            {"Time", floats({0, 0.5f, 1.5f})},
            {"Table", tableHeader(2, 0)},
            {"Passport", stg::encodePassport(Passport(1796740205))}};
}

TEST(StgFileTest, RoundTripWithAndWithoutProperties) {
    test::TempDir dir;
    for (bool withProperties : {true, false}) {
        CZelmoraDoc doc;
        fillDocument(doc, withProperties);
        doc.setModified(true);
        SilentMessageSink sink;
        const fs::path path = dir / (withProperties ? "props.stg" : "plain.stg");
        ASSERT_TRUE(doc.Write(path, sink));
        EXPECT_FALSE(doc.isModified());

        CZelmoraDoc back;
        const Status read = back.Read(path);
        ASSERT_TRUE(read) << read.message();
        EXPECT_EQ(back.signal.samples, doc.signal.samples);
        EXPECT_EQ(back.undo.samples, doc.signal.samples);
        EXPECT_FALSE(back.undo.available);
        EXPECT_DOUBLE_EQ(back.t0(), 0.5);
        EXPECT_DOUBLE_EQ(back.dt(), double(float(0.51)) - double(float(0.5)));
        EXPECT_NEAR(back.carriedStep, 0.01, 1e-6);
        ASSERT_EQ(back.peakCount(), 3u);
        EXPECT_EQ(back.peaks.signal(), &back.signal);
        for (std::size_t i = 0; i < 3; ++i) {
            const Peak& x = doc.peaks.peaks[i];
            const Peak& y = back.peaks.peaks[i];
            EXPECT_EQ(y.startTime, x.startTime);
            EXPECT_EQ(y.endTime, x.endTime);
            EXPECT_EQ(y.concentration, x.concentration);
            EXPECT_EQ(y.componentName, x.componentName);
            EXPECT_EQ(y.isReference, x.isReference);
            EXPECT_EQ(y.nextInGroup, x.nextInGroup);
            EXPECT_EQ(y.prevInGroup, x.prevInGroup);
            EXPECT_EQ(y.ownIndex, static_cast<int>(i));
            EXPECT_EQ(y.properties, x.properties);
        }
        EXPECT_EQ(back.peaks.properties, doc.peaks.properties);
        Passport expected = doc.passport;
        expected.file = path.string();
        EXPECT_EQ(back.passport, expected);

        // The stored version follows the properties: 4 with, 2 without.
        Result<CompoundReader> r = CompoundReader::open(path);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->streamNames().size(), 4u);
        const std::string table = *r->readStream("Table");
        ArchiveReader ar(table);
        ar.skip(8);
        EXPECT_EQ(ar.i32(), withProperties ? 4 : 2);

        Passport only;
        ASSERT_TRUE(stg::ReadPassport(path, only));
        EXPECT_EQ(only, expected);
    }
}

TEST(StgFileTest, TablePropertiesMakeEveryListPresent) {
    PeakTable t;
    t.peaks = {Peak(1, 2), Peak(3, 4)};
    const std::string plain = stg::encodeTable(t);
    // Version 2: header, then per peak 3 doubles, an empty name, two ints.
    EXPECT_EQ(plain.size(), 16u + 2 * (24 + 1 + 8));
    setProperty(t.peaks[1].properties, "k", "v");
    const std::string v4 = stg::encodeTable(t);
    // Version 4 adds a count for every peak and one for the table.
    EXPECT_EQ(v4.size(), plain.size() + 3 * 4 + 2 + 2);
    PeakTable back;
    ASSERT_TRUE(stg::decodeTable(v4, back));
    EXPECT_TRUE(back.peaks[0].properties.empty());
    EXPECT_EQ(back.peaks[1].properties, (PeakPropertyList{{"k", "v"}}));
}

TEST(StgFileTest, Version0And3Tables) {
    // Version 0: 112-byte records, end before start, a 32-byte name that may
    // fill its field without a terminator; trailing bytes are ignored.
    std::string v0;
    auto record = [&](double end, double start, double conc, std::string name, int right) {
        ArchiveWriter w;
        w.f64(end);
        w.f64(start);
        w.f64(conc);
        name.resize(32, '\0');
        w.bytes(name);
        w.i32(right);
        w.bytes(std::string(52, '\x7f'));
        v0 += w.data();
    };
    record(2.0, 1.0, 5.5, "\xcc\xe5\xf2\xe0\xed", 1);  // "Метан" in 1251
    record(4.0, 3.0, 0, std::string(32, 'N'), 7);
    EXPECT_EQ(v0.size(), 224u);
    PeakTable t0;
    ASSERT_TRUE(stg::decodeTable(v0 + "xyz", t0));
    ASSERT_EQ(t0.size(), 2u);
    EXPECT_EQ(t0.peaks[0].startTime, 1.0);
    EXPECT_EQ(t0.peaks[0].endTime, 2.0);
    EXPECT_EQ(t0.peaks[0].concentration, 5.5);
    EXPECT_EQ(t0.peaks[0].componentName, "Метан");
    EXPECT_EQ(t0.peaks[1].componentName, std::string(32, 'N'));
    EXPECT_EQ(t0.peaks[0].nextInGroup, 1);
    EXPECT_EQ(t0.peaks[1].prevInGroup, 0);
    EXPECT_EQ(t0.peaks[1].nextInGroup, -1);  // 7 is outside a table of 2
    EXPECT_EQ(t0.peaks[1].isReference, 0);

    // 0 to 7 bytes: an empty table.
    for (std::size_t n = 0; n <= 7; ++n) {
        PeakTable t;
        t.peaks.emplace_back(1, 2);
        ASSERT_TRUE(stg::decodeTable(std::string(n, '\x11'), t));
        EXPECT_TRUE(t.empty());
    }

    // Version 3: a pair with an empty or repeated key is dropped.
    ArchiveWriter w;
    w.bytes(tableHeader(3, 5));
    for (int i = 0; i < 5; ++i) {
        w.f64(i);
        w.f64(i + 0.5);
        w.f64(0);
        w.string("");
        w.i32(i == 0 ? 2 : -1);
        w.i32(0);
        if (i == 0) {
            w.i32(3);
            w.string("a");
            w.string("первое");
            w.string("");
            w.string("пусто");
            w.string("a");
            w.string("второе");
        } else {
            w.i32(0);
        }
    }
    w.i32(2);
    w.string("t");
    w.string("1");
    w.string("t");
    w.string("2");
    PeakTable t3;
    ASSERT_TRUE(stg::decodeTable(w.data(), t3));
    ASSERT_EQ(t3.size(), 5u);
    EXPECT_EQ(t3.peaks[0].properties, (PeakPropertyList{{"a", "первое"}}));
    EXPECT_EQ(t3.properties, (PeakPropertyList{{"t", "1"}}));
    EXPECT_EQ(t3.peaks[2].prevInGroup, 0);

    // The same lists in version 4 are kept as stored.
    std::string v4 = w.data();
    v4[8] = 4;
    PeakTable t4;
    ASSERT_TRUE(stg::decodeTable(v4, t4));
    EXPECT_EQ(t4.peaks[0].properties.size(), 3u);
    EXPECT_EQ(t4.properties.size(), 2u);
}

TEST(StgFileTest, TimeBaseEdgeCases) {
    const stg::TimeBase shortTime = stg::decodeTime(std::string(11, '\x40'));
    EXPECT_EQ(shortTime.t0, 0);
    EXPECT_EQ(shortTime.dt, 1.0);
    EXPECT_EQ(shortTime.carriedStep, 1.0);
    const stg::TimeBase tb = stg::decodeTime(floats({2.0f, 2.5f, 3.5f}));
    EXPECT_EQ(tb.t0, 2.0);
    EXPECT_EQ(tb.dt, 0.5);
    EXPECT_EQ(tb.carriedStep, 1.0);
    // A step that is zero, negative or not a number is no usable time record.
    EXPECT_EQ(stg::decodeTime(floats({2.0f, 2.0f, 3.0f})).dt, 1.0);
    EXPECT_EQ(stg::decodeTime(floats({2.0f, 1.0f, 3.0f})).dt, 1.0);
    EXPECT_EQ(stg::decodeTime(floats({NAN, 1.0f, 3.0f})).t0, 0);

    // dt = 1/1200 comes back as single precision holds it.
    Signal s;
    s.dt = 1.0 / 1200;
    const stg::TimeBase back = stg::decodeTime(stg::encodeTime(s, s.dt));
    EXPECT_EQ(back.dt, double(float(1.0 / 1200)));
    EXPECT_NE(back.dt, 1.0 / 1200);

    std::vector<float> samples;
    stg::decodeSamples(std::string(10, '\0'), samples);
    EXPECT_EQ(samples.size(), 2u);
}

TEST(StgFileTest, DamagedFilesFailWithoutTouchingTheDocument) {
    test::TempDir dir;
    // The document keeps what it had when a read fails.
    CZelmoraDoc doc;
    doc.signal.samples = {7, 8};
    doc.passport.sample = "прежняя";
    auto expectFails = [&](const std::vector<std::pair<const char*, std::string>>& streams,
                           const char* what) {
        const fs::path path = dir / "bad.stg";
        writeStreams(path, streams);
        const Status read = doc.Read(path);
        EXPECT_FALSE(read) << what;
        EXPECT_FALSE(read.message().empty()) << what;
        EXPECT_EQ(doc.signal.samples, (std::vector<float>{7, 8})) << what;
        EXPECT_EQ(doc.passport.sample, "прежняя") << what;
    };
    {
        auto s = validStreams();
        const fs::path path = dir / "good.stg";
        writeStreams(path, s);
        CZelmoraDoc ok;
        EXPECT_TRUE(ok.Read(path));
        EXPECT_EQ(ok.sampleCount(), 3u);
        EXPECT_EQ(ok.dt(), 0.5);
    }
    for (std::size_t missing = 0; missing < 4; ++missing) {
        auto s = validStreams();
        s.erase(s.begin() + static_cast<long>(missing));
        expectFails(s, "missing stream");
    }
    {
        auto s = validStreams();
        s[2].second = tableHeader(5, 0);
        expectFails(s, "table version 5");
        s[2].second = tableHeader(-1, 0);
        expectFails(s, "negative table version");
        s[2].second = tableHeader(2, 0x7fffffff);
        expectFails(s, "huge peak count");
        s[2].second = tableHeader(2, -5);
        expectFails(s, "negative peak count");
        s[2].second = tableHeader(2, 1) + std::string(20, '\0');
        expectFails(s, "truncated peak");
        ArchiveWriter w;
        w.bytes(tableHeader(4, 1));
        w.f64(0);
        w.f64(1);
        w.f64(0);
        w.u8(0xFF);  // a 32-bit string length of 4 GB
        w.u16(0xFFFF);
        w.u32(0xFFFFFFF0);
        s[2].second = w.data();
        expectFails(s, "huge string length");
        ArchiveWriter p;
        p.bytes(tableHeader(4, 0));
        p.i32(0x40000000);
        s[2].second = p.data();
        expectFails(s, "huge property count");
    }
    {
        auto s = validStreams();
        std::string pass = s[3].second;
        pass[0] ^= 1;
        s[3].second = pass;
        expectFails(s, "passport signature");
        pass = validStreams()[3].second;
        pass[4] = 4;
        s[3].second = pass;
        expectFails(s, "passport version 4");
        pass[4] = '\xff';
        pass[5] = pass[6] = pass[7] = '\xff';
        s[3].second = pass;
        expectFails(s, "negative passport version");
        s[3].second = validStreams()[3].second.substr(0, 40);
        expectFails(s, "truncated passport");
    }
    // Files that are not compound files at all.
    test::writeFile(dir / "text.stg", "not a compound file");
    EXPECT_FALSE(doc.Read(dir / "text.stg"));
    test::writeFile(dir / "empty.stg", "");
    EXPECT_FALSE(doc.Read(dir / "empty.stg"));
    EXPECT_FALSE(doc.Read(dir / "missing.stg"));
    Passport p;
    EXPECT_FALSE(stg::ReadPassport(dir / "text.stg", p));
    // Every refusal says why, for the operator's message.
    EXPECT_NE(doc.Read(dir / "text.stg").message().find("не составной файл"), std::string::npos);
    EXPECT_FALSE(stg::ReadPassport(dir / "missing.stg", p).message().empty());
    EXPECT_EQ(doc.signal.samples, (std::vector<float>{7, 8}));
}

// Runs `body` with the process's file-size limit lowered, so that writes
// beyond `bytes` fail with EFBIG as on a full disc.
template <typename F>
void withFileSizeLimit(rlim_t bytes, F body) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old;
    lowered.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    body();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
}

TEST(StgFileTest, FailedSaveLeavesTheOldFile) {
    test::TempDir dir;
    const fs::path path = dir / "keep.stg";
    CZelmoraDoc small;
    fillDocument(small, false);
    small.signal.samples.resize(10);
    RecordingMessageSink sink;
    ASSERT_TRUE(small.Write(path, sink));
    const std::string before = test::readFile(path);

    CZelmoraDoc big;
    fillDocument(big, true);
    big.signal.samples.assign(1'000'000, 1.5f);
    big.setModified(true);
    withFileSizeLimit(before.size() + 64 * 1024, [&] {
        EXPECT_FALSE(big.Write(path, sink));
        Passport p = fullPassport();
        p.databaseKey = 99;
        p.comment = std::string(100000, 'z');
        EXPECT_FALSE(stg::RewritePassport(path, p, sink));
    });
    EXPECT_TRUE(big.isModified());
    EXPECT_EQ(test::readFile(path), before);
    ASSERT_EQ(sink.entries.size(), 2u);
    EXPECT_EQ(sink.entries[0].resourceId, 181);
    EXPECT_EQ(sink.entries[0].text, "Ошибка сохранения хроматограммы " + path.string() + ".");
    EXPECT_EQ(sink.entries[1].resourceId, 176);
    EXPECT_EQ(sink.entries[1].text, "Ошибка чтения паспорта, хроматограмма " + path.string() + ".");
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);

    // A folder that does not exist: nothing is created, no message 181.
    sink.entries.clear();
    EXPECT_FALSE(small.Write(dir / "no" / "such.stg", sink));
    EXPECT_TRUE(sink.entries.empty());
}

TEST(StgFileTest, RewritePassportKeepsTheOtherStreams) {
    test::TempDir dir;
    const fs::path path = dir / "a.stg";
    CZelmoraDoc doc;
    fillDocument(doc, true);
    RecordingMessageSink sink;
    ASSERT_TRUE(doc.Write(path, sink));
    std::string raw, time, table;
    {
        Result<CompoundReader> before = CompoundReader::open(path);
        ASSERT_TRUE(before);
        raw = *before->readStream("Raw_data");
        time = *before->readStream("Time");
        table = *before->readStream("Table");
    }

    Passport p = doc.passport;
    p.databaseKey = 4711;
    p.comment = "короче";
    ASSERT_TRUE(stg::RewritePassport(path, p, sink));
    EXPECT_TRUE(sink.entries.empty());
    Result<CompoundReader> after = CompoundReader::open(path);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->streamNames().size(), 4u);
    EXPECT_EQ(*after->readStream("Raw_data"), raw);
    EXPECT_EQ(*after->readStream("Time"), time);
    EXPECT_EQ(*after->readStream("Table"), table);
    EXPECT_EQ(*after->readStream("Passport"), stg::encodePassport(p));
    Passport back;
    ASSERT_TRUE(stg::ReadPassport(path, back));
    EXPECT_EQ(back.databaseKey, 4711);
    EXPECT_EQ(back.comment, "короче");

    // A file that is not there: false without a message.
    EXPECT_FALSE(stg::RewritePassport(dir / "none.stg", p, sink));
    EXPECT_TRUE(sink.entries.empty());
}

// A results store that remembers what it was asked.
class FakeStore : public ResultsStore {
  public:
    KeyCheck answer = KeyCheck::Matches;
    std::vector<int> checkedKeys;
    std::vector<fs::path> saved;
    KeyCheck checkAnalysisKey(int key, std::time_t, std::time_t) override {
        checkedKeys.push_back(key);
        return answer;
    }
    bool saveResults(CZelmoraDoc&, const fs::path& file, MessageSink&) override {
        saved.push_back(file);
        return true;
    }
};

class StoreGuard {
  public:
    explicit StoreGuard(std::shared_ptr<ResultsStore> s) { installResultsStore(std::move(s)); }
    ~StoreGuard() { installResultsStore(nullptr); }
};

TEST(StgFileTest, DatabaseKeyCheckAndSave) {
    test::TempDir dir;
    const fs::path path = dir / "db.stg";
    CZelmoraDoc doc;
    fillDocument(doc, false);
    doc.passport.databaseKey = 17;
    SilentMessageSink sink;
    ASSERT_TRUE(doc.Write(path, sink));  // no store: nothing saved, nothing fails

    CZelmoraDoc noStore;
    ASSERT_TRUE(noStore.Read(path));
    EXPECT_EQ(noStore.passport.databaseKey, 17);

    auto store = std::make_shared<FakeStore>();
    StoreGuard guard(store);
    CZelmoraDoc kept;
    ASSERT_TRUE(kept.Read(path));
    EXPECT_EQ(kept.passport.databaseKey, 17);
    store->answer = ResultsStore::KeyCheck::Unavailable;
    ASSERT_TRUE(kept.Read(path));
    EXPECT_EQ(kept.passport.databaseKey, 17);
    store->answer = ResultsStore::KeyCheck::Mismatch;
    CZelmoraDoc dropped;
    ASSERT_TRUE(dropped.Read(path));
    EXPECT_EQ(dropped.passport.databaseKey, 0);
    EXPECT_EQ(store->checkedKeys, (std::vector<int>{17, 17, 17}));

    // A key above 0 or a request saves after the write; otherwise nothing.
    ASSERT_TRUE(kept.Write(path, sink));
    ASSERT_TRUE(dropped.Write(dir / "d2.stg", sink));
    dropped.databaseSaveRequest = true;
    ASSERT_TRUE(dropped.Write(dir / "d3.stg", sink));
    EXPECT_EQ(store->saved, (std::vector<fs::path>{path, dir / "d3.stg"}));
}

TEST(StgFileTest, OpenAndSaveFlows) {
    test::TempDir dir;
    CZelmoraDoc doc;
    fillDocument(doc, false);
    RecordingMessageSink sink;
    ASSERT_TRUE(doc.Write(dir / "Газ_1.stg", sink));
    fs::copy_file(dir / "Газ_1.stg", dir / "UPPER.STG");
    fs::copy_file(dir / "Газ_1.stg", dir / "x.stg.bak");

    CZelmoraDoc opened;
    opened.reportState = 3;
    ASSERT_TRUE(opened.OnOpenDocument(dir / "Газ_1.stg", sink));
    EXPECT_EQ(opened.reportState, 0);
    EXPECT_EQ(opened.state().title(), "Газ_1");
    EXPECT_EQ(opened.passport.file, (dir / "Газ_1.stg").string());
    EXPECT_FALSE(opened.hasMethod);
    EXPECT_FALSE(opened.isModified());
    CZelmoraDoc upper;
    EXPECT_TRUE(upper.OnOpenDocument(dir / "UPPER.STG", sink));
    CZelmoraDoc other;
    EXPECT_FALSE(other.OnOpenDocument(dir / "x.stg.bak", sink));
    EXPECT_TRUE(sink.entries.empty());  // a foreign extension fails silently
    test::writeFile(dir / "bad.stg", "junk");
    EXPECT_FALSE(other.OnOpenDocument(dir / "bad.stg", sink));
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].resourceId, 180);
    EXPECT_EQ(sink.entries[0].text,
              "Ошибка открытия хроматограммы " + (dir / "bad.stg").string() + ".");

    // Save with the backup copy on and the database save setting on: the
    // results are saved once, for the main file.
    auto store = std::make_shared<FakeStore>();
    StoreGuard guard(store);
    const fs::path copies = dir / "copies";
    fs::create_directory(copies);
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.checkSaveCopy = true;
        o.checkSaveDb = true;
        o.pathSaveCopy = copies.string();
    });
    sink.entries.clear();
    opened.changed();
    ASSERT_TRUE(opened.OnSaveDocument(dir / "saved.stg", sink));
    EXPECT_FALSE(opened.isModified());
    EXPECT_FALSE(opened.databaseSaveRequest);
    EXPECT_TRUE(fs::exists(copies / "saved.stg"));
    EXPECT_EQ(test::readFile(copies / "saved.stg"), test::readFile(dir / "saved.stg"));
    EXPECT_EQ(store->saved, (std::vector<fs::path>{dir / "saved.stg"}));
    EXPECT_TRUE(sink.entries.empty());

    // The copy folder is missing: the main file is written, the save fails
    // with the copy's message box.
    CProgramSettings::instance().update(
        [&](ProgramOptions& o) { o.pathSaveCopy = (dir / "gone").string(); });
    EXPECT_FALSE(opened.OnSaveDocument(dir / "saved2.stg", sink));
    EXPECT_TRUE(fs::exists(dir / "saved2.stg"));
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].caption, "Ошибка записи копии хроматограммы");
    EXPECT_EQ(sink.entries[0].icon, MessageIcon::Error);
    EXPECT_EQ(sink.entries[0].text,
              "Копия хроматограмы не может быть записана в следующее место:\r\n" +
                  (dir / "gone" / "saved2.stg").string());

    // The main file cannot be written: the main box; the copy does not mark
    // the document saved.
    sink.entries.clear();
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.pathSaveCopy = copies.string();
        o.checkSaveDb = false;
    });
    opened.changed();
    EXPECT_FALSE(opened.OnSaveDocument(dir / "nowhere" / "x.stg", sink));
    EXPECT_TRUE(opened.isModified());
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].caption, "Ошибка записи хроматограммы");
    EXPECT_EQ(sink.entries[0].text, "Хроматограма не может быть записана в следующее место:\r\n" +
                                        (dir / "nowhere" / "x.stg").string());
    EXPECT_TRUE(fs::exists(copies / "x.stg"));
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.checkSaveCopy = false;
        o.checkSaveDb = false;
    });
}

}  // namespace
}  // namespace zelmora
