#include "document/chromatogram_browser.h"

#include <gtest/gtest.h>

#include "app/paths.h"
#include "document/message_sink.h"
#include "document/stg_file.h"
#include "document/zelmora_doc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

void writeChromatogram(const fs::path& file, std::time_t analysisTime, const std::string& sample,
                       const std::string& method = "М1", int calibration = 0,
                       const std::string& place = "ГРС-1", const std::string& point = "Вход") {
    CZelmoraDoc doc;
    doc.signal.samples = {0.f, 1.f, 2.f, 1.f, 0.f};
    doc.signal.dt = 0.01;
    doc.passport.analysisTime = analysisTime;
    doc.passport.sample = sample;
    doc.passport.method = method;
    doc.passport.calibration = calibration;
    doc.passport.place = place;
    doc.passport.point = point;
    RecordingMessageSink sink;
    ASSERT_TRUE(doc.Write(file, sink, false));
}

const BrowserEntry* find(const std::vector<BrowserEntry>& v, const std::string& name) {
    for (const BrowserEntry& e : v)
        if (e.name == name)
            return &e;
    return nullptr;
}

TEST(ChromatogramBrowser, ListsFoldersAndChromatogramsWithTheirPassports) {
    test::TempDir dir;
    fs::create_directory(dir / "Архив");
    writeChromatogram(dir / "a.stg", kT, "Газ природный");
    writeChromatogram(dir / "b.STG", kT + 100, "Смесь", "М2", 1);
    test::writeFile(dir / "broken.stg", "not a compound file");
    test::writeFile(dir / "notes.txt", "x");

    const std::vector<BrowserEntry> all = listFolder(dir.path(), BrowserType::All);
    ASSERT_EQ(all.size(), 5u);  // "..", the folder, three chromatograms
    EXPECT_EQ(all[0].name, "..");
    EXPECT_TRUE(all[0].isFolder);
    EXPECT_EQ(all[1].name, "Архив");
    EXPECT_TRUE(all[1].isFolder);
    EXPECT_EQ(find(all, "notes"), nullptr);
    const BrowserEntry* a = find(all, "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->sample, "Газ природный");
    EXPECT_EQ(a->analysisTime, kT);
    EXPECT_EQ(a->method, "М1");
    EXPECT_EQ(a->place, "ГРС-1");
    EXPECT_EQ(a->point, "Вход");
    const BrowserEntry* broken = find(all, "broken");
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->sample, kUnreadableSample);
    EXPECT_TRUE(broken->method.empty());
    EXPECT_GT(broken->analysisTime, kT);  // the file's own time
    // Newest first among the files.
    ASSERT_NE(find(all, "b"), nullptr);
    EXPECT_EQ(all[2].name, "broken");
    EXPECT_EQ(all[3].name, "b");
    EXPECT_EQ(all[4].name, "a");

    // Calibration chromatograms only: an unreadable passport counts as 0.
    const auto cal = listFolder(dir.path(), BrowserType::Calibration);
    EXPECT_NE(find(cal, "b"), nullptr);
    EXPECT_EQ(find(cal, "a"), nullptr);
    EXPECT_EQ(find(cal, "broken"), nullptr);
    EXPECT_NE(find(cal, "Архив"), nullptr);
    const auto others = listFolder(dir.path(), BrowserType::Others);
    EXPECT_EQ(find(others, "b"), nullptr);
    EXPECT_NE(find(others, "broken"), nullptr);

    EXPECT_EQ(entryPath(dir.path(), *a), dir / "a.stg");
    EXPECT_EQ(entryPath(dir.path(), all[0]), dir.path().parent_path());
    EXPECT_EQ(entryPath(dir.path(), all[1]), dir / "Архив");
    EXPECT_EQ(previewText(dir.path(), all[0]), kPreviewUp);
    EXPECT_EQ(previewText(dir.path(), all[1]), kPreviewFolder);
    EXPECT_EQ(previewText(dir.path(), *broken), kPreviewUnreadable);
    EXPECT_NE(previewText(dir.path(), *a).find("ПРОБА: \tГаз природный"), std::string::npos);

    // A missing folder lists nothing but its way up.
    const auto missing = listFolder(dir / "нет", BrowserType::All);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].name, "..");
    const auto root = listFolder("/", BrowserType::All);
    EXPECT_TRUE(root.empty() || root[0].name != "..");
}

TEST(ChromatogramBrowser, TextFiltersIgnoreCaseAndTheAnyEntries) {
    BrowserEntry e;
    e.method = "Газ-Анализ";
    e.place = "ГРС-1";
    e.point = "Вход";
    BrowserFilter f;
    EXPECT_TRUE(filterPasses(f, e));
    f.method = kAnyMethod;
    f.place = kAnyPlace;
    f.point = kAnyPoint;
    EXPECT_TRUE(filterPasses(f, e));
    f.method = "газ-анализ";
    f.place = "грс-1";
    f.point = "ВХОД";
    EXPECT_TRUE(filterPasses(f, e));
    f.point = "Вход2";
    EXPECT_FALSE(filterPasses(f, e));
    f.point = "Вхо";  // a beginning is not a match
    EXPECT_FALSE(filterPasses(f, e));
    f.point = kAnyPoint;
    f.type = BrowserType::Calibration;
    EXPECT_FALSE(filterPasses(f, e));
    e.calibration = 1;
    EXPECT_TRUE(filterPasses(f, e));
    BrowserEntry folder;
    folder.isFolder = true;
    EXPECT_TRUE(filterPasses(f, folder));
}

TEST(ChromatogramBrowser, JointSelectionTakesChromatogramsWithinTenSeconds) {
    std::vector<BrowserEntry> v(5);
    v[0].isFolder = true;
    v[0].name = "..";
    for (std::size_t i = 1; i < v.size(); ++i)
        v[i].passportRead = true;
    v[1].analysisTime = kT;
    v[2].analysisTime = kT + 5;
    v[3].analysisTime = kT + 10;
    v[4].analysisTime = kT - 9;
    EXPECT_EQ(jointSelection(v, 1), (std::vector<std::size_t>{1, 2, 4}));
    EXPECT_EQ(jointSelection(v, 3), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(jointSelection(v, 0), (std::vector<std::size_t>{0}));
    v[2].passportRead = false;  // its date is only the file's
    EXPECT_EQ(jointSelection(v, 1), (std::vector<std::size_t>{1, 4}));
    EXPECT_TRUE(jointSelection(v, 9).empty());
}

TEST(ChromatogramBrowser, CopyAndMoveNeverOverwriteUnasked) {
    test::TempDir dir;
    fs::create_directory(dir / "src");
    fs::create_directory(dir / "dst");
    writeChromatogram(dir / "src" / "a.stg", kT, "новая");
    writeChromatogram(dir / "src" / "b.stg", kT + 1, "вторая");
    writeChromatogram(dir / "dst" / "a.stg", kT, "старая");
    const std::vector<fs::path> files = {dir / "src" / "a.stg", dir / "src" / "b.stg"};

    // Into the current folder, also spelled in another case: nothing.
    std::string upper = (dir / "SRC/").string();
    int asked = 0;
    auto skip = [&](const fs::path&) {
        ++asked;
        return OverwriteAnswer::Skip;
    };
    TransferReport r = transferFiles(files, dir / "src", dir / "src", true, skip);
    EXPECT_TRUE(r.sameFolder);
    EXPECT_TRUE(samePathNoCase(dir / "src", upper));
    EXPECT_TRUE(transferFiles(files, dir / "src", upper, true, skip).sameFolder);
    EXPECT_TRUE(fs::exists(dir / "src" / "a.stg"));

    r = transferFiles(files, dir / "src", dir / "dst", false, skip);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.skipped, 1);
    Passport p;
    ASSERT_TRUE(stg::ReadPassport(dir / "dst" / "a.stg", p));
    EXPECT_EQ(p.sample, "старая");
    ASSERT_TRUE(stg::ReadPassport(dir / "dst" / "b.stg", p));
    EXPECT_EQ(p.sample, "вторая");
    EXPECT_TRUE(fs::exists(dir / "src" / "b.stg"));

    // Moving with "replace": the old file is replaced, the sources go.
    r = transferFiles(files, dir / "src", dir / "dst", true,
                      [](const fs::path&) { return OverwriteAnswer::Replace; });
    EXPECT_EQ(r.done, 2);
    EXPECT_TRUE(r.failures.empty());
    ASSERT_TRUE(stg::ReadPassport(dir / "dst" / "a.stg", p));
    EXPECT_EQ(p.sample, "новая");
    EXPECT_FALSE(fs::exists(dir / "src" / "a.stg"));
    EXPECT_FALSE(fs::exists(dir / "src" / "b.stg"));
    EXPECT_FALSE(fs::exists(dir / "dst" / "a.stg.part"));

    // A source that is gone is reported and nothing is left behind.
    r = transferFiles({dir / "src" / "a.stg"}, dir / "src", dir / "other", false, skip);
    EXPECT_EQ(r.done, 0);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_NE(r.failures[0].find("a.stg"), std::string::npos);
    // "Stop" ends the whole transfer.
    writeChromatogram(dir / "src" / "a.stg", kT, "x");
    r = transferFiles({dir / "src" / "a.stg", dir / "src" / "a.stg"}, dir / "src", dir / "dst",
                      true, [](const fs::path&) { return OverwriteAnswer::Stop; });
    EXPECT_EQ(r.done, 0);
    EXPECT_TRUE(fs::exists(dir / "src" / "a.stg"));
}

TEST(ChromatogramBrowser, DeleteAsksByCountAndReportsFailures) {
    test::TempDir dir;
    writeChromatogram(dir / "a.stg", kT, "x");
    EXPECT_EQ(deleteQuestion({dir / "a.stg"}), "Удалить a ?");
    EXPECT_EQ(deleteQuestion({dir / "a.stg", dir / "b.stg"}),
              "Выделено хромaтограмм: 2. Удалить все ?");
    const auto failures = deleteFiles({dir / "a.stg", dir / "b.stg"});
    EXPECT_FALSE(fs::exists(dir / "a.stg"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("b.stg"), std::string::npos);

    // The failures of a batch become one result for the operator: none is
    // success, several are one line each in the order they happened.
    EXPECT_TRUE(joinFailures({}));
    const Status joined = joinFailures({"a.stg: занят", "b.stg: файл не найден"});
    EXPECT_FALSE(joined);
    EXPECT_EQ(joined.message(), "a.stg: занят\nb.stg: файл не найден");
    EXPECT_EQ(deleteFile(dir / "b.stg").message(), "b.stg: файл не найден");
    // One file copied on its own leaves no ".part" behind on a failure.
    const Status copied = transferFile(dir / "gone.stg", dir / "c.stg", false);
    EXPECT_FALSE(copied);
    EXPECT_EQ(copied.message().rfind("gone.stg: ", 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "c.stg.part"));
}

TEST(ChromatogramBrowser, DeleteMovesIntoTheTrash) {
    test::TempDir dir;
    writeChromatogram(dir / "a.stg", kT, "x");
    writeChromatogram(dir / "b.stg", kT, "x");
    const DeleteReport report = moveFilesToTrash({dir / "a.stg", dir / "b.stg", dir / "c.stg"});
    EXPECT_FALSE(fs::exists(dir / "a.stg"));
    EXPECT_FALSE(fs::exists(dir / "b.stg"));
    EXPECT_TRUE(fs::exists(paths::homeTrashFolder() / "files" / "a.stg"));
    EXPECT_TRUE(fs::exists(paths::homeTrashFolder() / "info" / "b.stg.trashinfo"));
    EXPECT_TRUE(report.noTrash.empty());
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("c.stg"), std::string::npos);
    EXPECT_NE(deleteForGoodQuestion({dir / "d.stg"}).find("d.stg"), std::string::npos);
}

}  // namespace
}  // namespace zelmora
