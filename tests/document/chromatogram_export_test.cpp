// The text export byte for byte, where its file goes, the result XML read
// back, the analysis number, and the run of the outside export program with a
// recording script.

#include "document/chromatogram_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

// 2026-12-08 14:30:05 UTC, a Tuesday.
constexpr std::time_t kAnalysisTime = 1796740205;

// The passport's analysis time is shown in local time: the tests fix the zone.
class UtcZone {
  public:
    UtcZone() {
        if (const char* tz = std::getenv("TZ")) {
            saved_ = tz;
            had_ = true;
        }
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~UtcZone() {
        if (had_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::string saved_;
    bool had_ = false;
};

Peak makePeak(double start, double end, double apex, double height, double area, double conc,
              std::string name) {
    Peak p(start, end);
    p.apexTime = apex;
    p.height = height;
    p.area = area;
    p.concentration = conc;
    p.componentName = std::move(name);
    return p;
}

void fillSmallChromatogram(CZelmoraDoc& doc) {
    doc.signal.samples = {0.5f, 1.25f, -2.0f, 1e-7f};
    doc.signal.t0 = 0.5;
    doc.signal.dt = 1.0 / 1200;
    doc.passport = Passport(kAnalysisTime);
    doc.passport.sample = "Газ # 1234";
    doc.passport.file = "/data/Газ_081226_143005.stg";
    doc.peaks.peaks = {makePeak(0.9, 1.1, 1.0, 10.5, 2.25, 12.5, "Метан"),
                       makePeak(1.9, 2.2, 2.0, 0.125, 0.0625, 0, "")};
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t end = s.find('\n', pos);
        out.push_back(s.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? s.size() : end + 1;
    }
    return out;
}

std::string workLogText(const fs::path& folder) {
    return text::fromCp1251(test::readFile(folder / CWorkLog::kFileName));
}

TEST(TextExport, WholeFileByteForByte) {
    UtcZone utc;
    CZelmoraDoc doc;
    fillSmallChromatogram(doc);
    const std::string expected =
        "\r\n[Passport]\r\n"
        "Proba=Газ # 1234\r\n"
        "Filename=/data/Газ_081226_143005.stg\r\n"
        "TimeStamp=Tuesday, December 08, 2026\r\n"
        "\r\n[Peaks]\r\n"
        "0, 1.000000, 10.500000, 2.250000, 12.500000, Метан\r\n"
        "1, 2.000000, 0.125000, 0.062500, 0.000000, \r\n"
        "\r\n[Data]\r\n"
        "t0=0.500000\r\n"
        "dt=0.000833\r\n"
        "DataLen=4\r\n"
        "\r\n[Samples]\r\n"
        "0.500000\r\n1.250000\r\n-2.000000\r\n0.000000\r\n";
    const std::string bytes = textExportBytes(doc);
    EXPECT_EQ(bytes, text::toCp1251(expected));
    // Windows-1251, not UTF-8: "Газ" is three bytes.
    EXPECT_NE(bytes.find("Proba=\xc3\xe0\xe7 #"), std::string::npos);

    // No peaks: the header, then directly the empty line and the data section.
    doc.peaks.peaks.clear();
    EXPECT_NE(textExportBytes(doc).find("\r\n[Peaks]\r\n\r\n[Data]\r\n"), std::string::npos);

    // A line break inside a text also ends in CR LF, as in a text-mode file.
    doc.passport.sample = "a\nb";
    EXPECT_NE(textExportBytes(doc).find("Proba=a\r\nb\r\n"), std::string::npos);

    EXPECT_EQ(formatEnglishLongDate(kAnalysisTime + 5 * 86400), "Sunday, December 13, 2026");
    EXPECT_EQ(formatEnglishLongDate(0), "Thursday, January 01, 1970");
}

// Answers with a fixed file (or cancels) and keeps what it was asked.
class FixedChooser : public SaveFileChooser {
  public:
    std::optional<fs::path> chooseSaveFile(const SaveFileRequest& request) override {
        asked.push_back(request);
        return answer;
    }
    std::optional<fs::path> answer;
    std::vector<SaveFileRequest> asked;
};

TEST(TextExport, FileFromTheSaveNameOrTheChooser) {
    test::TempDir dir;
    const TextExportFolders folders{dir / "prog", dir / "cur"};
    fs::create_directories(dir / "cur");
    CZelmoraDoc doc;
    fillSmallChromatogram(doc);
    RecordingMessageSink sink;
    FixedChooser chooser;

    // A save name with "." goes, without asking, into the Data folder, which is created.
    doc.saveName = "Газ_081226_143005.stg";
    auto written = [](const Result<fs::path>& r) { return r && !r->empty(); };
    Result<fs::path> r = ExportText(doc, sink, &chooser, ExportMode::Interactive, folders);
    ASSERT_TRUE(written(r)) << r.message();
    EXPECT_EQ(*r, dir / "prog" / "Data" / "Газ_081226_143005data.txt");
    EXPECT_EQ(test::readFile(*r), textExportBytes(doc));
    // An existing export is replaced by the new one as a whole.
    doc.signal.samples.resize(1);
    ASSERT_TRUE(written(ExportText(doc, sink, &chooser, ExportMode::Interactive, folders)));
    EXPECT_EQ(test::readFile(*r), textExportBytes(doc));
    // Cut at the first ".".
    EXPECT_EQ(textExportFileName("a.b.stg"), "adata.txt");

    // Without ".": the name is taken relative to the current folder.
    doc.saveName = "Газ";
    r = ExportText(doc, sink, &chooser, ExportMode::Interactive, folders);
    ASSERT_TRUE(written(r)) << r.message();
    EXPECT_EQ(*r, dir / "cur" / "Газdata.txt");
    EXPECT_TRUE(chooser.asked.empty());

    // Without a save name the operator chooses, "data.txt" proposed in the Data folder.
    doc.saveName.clear();
    chooser.answer = dir / "chosen.txt";
    r = ExportText(doc, sink, &chooser, ExportMode::Interactive, folders);
    ASSERT_TRUE(written(r)) << r.message();
    EXPECT_EQ(test::readFile(dir / "chosen.txt"), textExportBytes(doc));
    ASSERT_EQ(chooser.asked.size(), 1u);
    const SaveFileRequest& asked = chooser.asked[0];
    EXPECT_EQ(asked.title, "Экспорт в текстовый файл");
    EXPECT_EQ(asked.fileName, "data.txt");
    EXPECT_EQ(asked.defaultExtension, "txt");
    EXPECT_EQ(asked.filter, "Текстовые файлы Win-1251 (*.txt)|*.txt|Все файлы (*.*)|*.*||");
    EXPECT_EQ(asked.initialFolder, dir / "prog" / "Data");
    EXPECT_TRUE(asked.overwritePrompt);

    // Cancelled: nothing is written and nothing said.
    chooser.answer.reset();
    r = ExportText(doc, sink, &chooser, ExportMode::Interactive, folders);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->empty());
    EXPECT_TRUE(sink.entries.empty());
}

TEST(TextExport, AFailureToWriteIsReported) {
    test::TempDir dir;
    test::writeFile(dir / "prog", "a file where the program folder should be");
    const TextExportFolders folders{dir / "prog", dir.path()};
    CZelmoraDoc doc;
    fillSmallChromatogram(doc);
    doc.saveName = "Газ_081226_143005.stg";

    RecordingMessageSink sink;
    Result<fs::path> r = ExportText(doc, sink, nullptr, ExportMode::Interactive, folders);
    EXPECT_FALSE(r);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].caption, "Экспорт в текстовый файл");
    EXPECT_NE(sink.entries[0].text.find((dir / "prog" / "Data").string()), std::string::npos);

    // Automatic: a work-log line instead of a message; also when there is no
    // save name, as nobody can be asked for a file.
    sink.entries.clear();
    CWorkLog::instance().start(dir.path(), "v", "d");
    doc.saveName = "Газ";  // the current folder is fine ...
    const TextExportFolders unwritable{dir / "prog", dir / "prog" / "sub"};
    r = ExportText(doc, sink, nullptr, ExportMode::Automatic, unwritable);  // ... but not here
    EXPECT_FALSE(r);
    doc.saveName.clear();
    FixedChooser chooser;
    chooser.answer = dir / "never.txt";
    r = ExportText(doc, sink, &chooser, ExportMode::Automatic, folders);
    EXPECT_FALSE(r);
    CWorkLog::instance().stop();
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(chooser.asked.empty());
    EXPECT_FALSE(fs::exists(dir / "never.txt"));
    const std::string log = workLogText(dir.path());
    EXPECT_NE(log.find("! Экспорт хроматограммы не записан в файл " +
                       (dir / "prog" / "sub" / "Газdata.txt").string()),
              std::string::npos);
    EXPECT_NE(log.find("! Экспорт хроматограммы не записан: у хроматограммы нет имени файла"),
              std::string::npos);
}

TEST(ResultExport, ElementsPerKeyReadBack) {
    CZelmoraDoc doc;
    fillSmallChromatogram(doc);
    doc.peaks.peaks = {makePeak(1, 2, 1.5, 1, 1, 12.5, "C4"), makePeak(2, 3, 2.5, 1, 1, 7, "c4"),
                       makePeak(3, 4, 3.5, 1, 1, 3.3, "iC4"),
                       makePeak(4, 5, 4.5, 1, 1, 50, "Метан"), makePeak(5, 6, 5.5, 1, 1, 9, "")};
    const std::string xml = resultExportXml(doc, "1234");
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << xml;

    pugi::xml_document read;
    ASSERT_TRUE(read.load_string(xml.c_str()));
    const pugi::xml_node root = read.document_element();
    EXPECT_STREQ(root.name(), "Document");
    EXPECT_STREQ(root.attribute("xmlns:dt").value(), "urn:schemas-microsoft-com:datatypes");
    const pugi::xml_node analyse = root.child("analyse");
    ASSERT_TRUE(analyse);
    EXPECT_FALSE(analyse.next_sibling());

    std::vector<std::pair<std::string, std::string>> got;
    for (const pugi::xml_node e : analyse.children()) {
        got.emplace_back(e.name(), e.text().get());
        EXPECT_STREQ(e.attribute("dt:dt").value(), got.size() == 1 ? "string" : "r8");
    }
    const std::vector<std::pair<std::string, std::string>> want = {
        {"id", "1234"}, {"c2", "0.001"},  {"c3", "0.001"}, {"ic4", "0.033"}, {"c4", "0.125"},
        {"c4", "0.07"}, {"ic5", "0.001"}, {"c5", "0.001"}, {"c6", "0.001"},  {"ic6", "0.001"}};
    EXPECT_EQ(got, want);
    // Every value reads back as exactly the double that was meant.
    EXPECT_EQ(std::strtod(analyse.child("ic4").text().get(), nullptr), 3.3 / 100);
    EXPECT_EQ(formatXmlNumber(1e-7), "1e-07");
    EXPECT_EQ(formatXmlNumber(1.0 / 3), "0.3333333333333333");
    EXPECT_EQ(formatXmlNumber(-0.5), "-0.5");
}

TEST(ResultExport, AnalysisNumberFromTheSampleText) {
    EXPECT_EQ(analysisNumber("Газ # 1234"), "1234");
    EXPECT_EQ(analysisNumber("Газ #1234"), "234");    // the character after "#" is skipped
    EXPECT_EQ(analysisNumber("#№77"), "77");          // skipped whole, though two bytes
    EXPECT_EQ(analysisNumber("а # 1 # 2"), "1 # 2");  // the first "#" counts
    EXPECT_EQ(analysisNumber("Газ"), std::nullopt);
    EXPECT_EQ(analysisNumber("Газ #"), std::nullopt);
    EXPECT_EQ(analysisNumber("Газ #1"), std::nullopt);
    EXPECT_EQ(analysisNumber("Газ #   "), std::nullopt);
    // At most 100 characters, counted as characters: 100 Cyrillic letters are 200 bytes.
    std::string longText = "# ";
    for (int i = 0; i < 150; ++i)
        longText += "Ж";
    const std::optional<std::string> n = analysisNumber(longText);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->size(), 200u);
    EXPECT_EQ(text::fromCp1251(text::toCp1251(*n)), *n);  // no character cut in two
}

// A stand-in for the laboratory's export program: appends its arguments, one
// per line in brackets, to the file named by its first argument, keeps a copy
// of the XML file it was given, and exits with the code of its second
// argument ("kill" kills itself).
class ExportProgramFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "my programs");
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "chromatograms");
        script = dir / "my programs" / "take results.sh";
        test::writeFile(script,
                        "#!/bin/sh\n"
                        "log=\"$1\"; code=\"$2\"; shift 2\n"
                        "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >>\"$log\"; done\n"
                        "for a in \"$@\"; do case \"$a\" in *.xml) cp \"$a\" \"$log.xml\";; "
                        "esac; done\n"
                        "[ \"$code\" = kill ] && kill -9 $$\n"
                        "exit \"$code\"\n");
        ::chmod(script.c_str(), 0755);
        settings.emplace(dir / "user.reg", true);
        fillSmallChromatogram(doc);
        chromatogram = dir / "chromatograms" / "Газ 1.stg";
        doc.state().setPathName(chromatogram);
        doc.setModified(true);
        options.settings = &*settings;
        options.tempFolder = dir / "tmp";
    }

    void usePrg(const std::string& code, const std::string& extra = "\"два слова\"") {
        settings->setString(kRootKey, kExportProgramValue,
                            "\"" + script.string() + "\" \"" + (dir / "args.txt").string() + "\" " +
                                code + " " + extra);
    }

    bool tempFolderEmpty() const { return fs::is_empty(dir / "tmp"); }

    test::TempDir dir;
    fs::path script;
    fs::path chromatogram;
    std::optional<SettingsStore> settings;
    CZelmoraDoc doc;
    ProgramExportOptions options;
    RecordingMessageSink sink;
};

TEST_F(ExportProgramFixture, NonZeroExitLeavesTheChromatogramAsItWas) {
    usePrg("3");
    const ProgramExportResult r = ExportToProgram(doc, sink, ExportMode::Interactive, options);
    EXPECT_EQ(r.status, ProgramExportResult::Status::ProgramFailed);
    EXPECT_FALSE(r.closeChromatogram);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].text, "Программа экспорта вернула код завершения 3");
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(fs::exists(chromatogram));
    // Arguments with blanks arrive whole, the XML file and the chromatogram last.
    EXPECT_EQ(lines(test::readFile(dir / "args.txt")),
              (std::vector<std::string>{"[два слова]", "[" + r.xmlFile.string() + "]",
                                        "[" + chromatogram.string() + "]"}));
    EXPECT_EQ(r.xmlFile.parent_path(), dir / "tmp");
    EXPECT_EQ(r.xmlFile.extension(), ".xml");
    EXPECT_TRUE(tempFolderEmpty());
    // The program got the results with the analysis number.
    pugi::xml_document got;
    ASSERT_TRUE(got.load_file((dir / "args.txt.xml").c_str()));
    EXPECT_STREQ(got.child("Document").child("analyse").child("id").text().get(), "1234");
}

TEST_F(ExportProgramFixture, ExitZeroSavesAndAsksToClose) {
    usePrg("0", "\"it's $HOME; `x`\"");  // shell characters are passed as they are
    const ProgramExportResult r = ExportToProgram(doc, sink, ExportMode::Interactive, options);
    EXPECT_EQ(r.status, ProgramExportResult::Status::Done);
    EXPECT_TRUE(r.closeChromatogram);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_FALSE(doc.isModified());
    EXPECT_TRUE(tempFolderEmpty());
    EXPECT_EQ(lines(test::readFile(dir / "args.txt"))[0], "[it's $HOME; `x`]");
    CZelmoraDoc back;
    ASSERT_TRUE(back.Read(chromatogram));
    EXPECT_EQ(back.passport.sample, "Газ # 1234");
    EXPECT_EQ(back.sampleCount(), doc.sampleCount());

    // Accepted, but the chromatogram cannot be saved: it must stay open.
    doc.state().setPathName(dir / "no such folder" / "x.stg");
    doc.setModified(true);
    sink.entries.clear();
    const ProgramExportResult unsaved =
        ExportToProgram(doc, sink, ExportMode::Interactive, options);
    EXPECT_EQ(unsaved.status, ProgramExportResult::Status::SaveFailed);
    EXPECT_FALSE(unsaved.closeChromatogram);
    EXPECT_FALSE(sink.entries.empty());
    EXPECT_TRUE(doc.isModified());
    EXPECT_TRUE(tempFolderEmpty());
}

TEST_F(ExportProgramFixture, EveryOtherFailureIsReported) {
    auto run = [&](ExportMode mode = ExportMode::Interactive) {
        sink.entries.clear();
        return ExportToProgram(doc, sink, mode, options);
    };
    auto said = [&] { return sink.entries.size() == 1 ? sink.entries[0].text : std::string(); };

    settings->setString(kRootKey, kExportProgramValue, "  ");
    EXPECT_EQ(run().status, ProgramExportResult::Status::NotConfigured);
    EXPECT_NE(said().find("Prg"), std::string::npos);

    settings->setString(kRootKey, kExportProgramValue, (dir / "missing program").string());
    ProgramExportResult r = run();
    EXPECT_EQ(r.status, ProgramExportResult::Status::StartFailed);
    EXPECT_EQ(said(),
              "Ошибка запуска приложения экспорта '" + (dir / "missing program").string() + "'");
    EXPECT_TRUE(tempFolderEmpty());

    usePrg("kill");
    r = run();
    EXPECT_EQ(r.status, ProgramExportResult::Status::ProgramFailed);
    EXPECT_TRUE(r.process.signalled);
    EXPECT_FALSE(r.closeChromatogram);
    EXPECT_TRUE(tempFolderEmpty());

    usePrg("0");
    doc.passport.sample = "Газ #";
    EXPECT_EQ(run().status, ProgramExportResult::Status::NoAnalysisNumber);
    EXPECT_EQ(said(), "Не могу экспортировать хроматограмму. Не найден уникальный номер анализа!");
    doc.passport.sample = "Газ # 1234";

    options.tempFolder = dir / "no such folder";
    EXPECT_EQ(run().status, ProgramExportResult::Status::TempFileFailed);
    EXPECT_NE(said().find("временный файл"), std::string::npos);
    options.tempFolder = dir / "tmp";

    // Automatic: the work log hears of it, the operator does not.
    // So do the save hook's own messages.
    usePrg("3");
    CWorkLog::instance().start(dir.path(), "v", "d");
    EXPECT_EQ(run(ExportMode::Automatic).status, ProgramExportResult::Status::ProgramFailed);
    usePrg("0");
    doc.state().setPathName(dir / "no such folder" / "x.stg");
    EXPECT_EQ(run(ExportMode::Automatic).status, ProgramExportResult::Status::SaveFailed);
    doc.state().setPathName(chromatogram);
    CWorkLog::instance().stop();
    EXPECT_TRUE(sink.entries.empty());
    const std::string log = workLogText(dir.path());
    EXPECT_NE(log.find("! Программа экспорта вернула код завершения 3"), std::string::npos);
    EXPECT_NE(log.find("! Ошибка записи хроматограммы: Хроматограма не может быть записана"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(chromatogram));
    EXPECT_TRUE(tempFolderEmpty());
}

}  // namespace
}  // namespace zelmora
