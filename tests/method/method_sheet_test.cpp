#include "method/method_sheet.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "method/method_file.h"
#include "method/method_notifier.h"
#include "method/method_prompts.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

// Records what the sheet asked and answers from a script.
class FakePrompts : public MethodPrompts {
  public:
    bool takeShownPage() override { return pageAccepts; }
    bool askOkCancel(const std::string& text, const std::string& caption) override {
        questions.push_back(text);
        EXPECT_EQ(caption, "Предупреждение");
        if (onQuestion)
            onQuestion();
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void showError(const std::string& text) override { errors.push_back(text); }
    std::optional<fs::path> askSaveFile(const fs::path& folder, const std::string& filter,
                                        const std::string& ext) override {
        EXPECT_EQ(filter, "Метод (*.mtd)|*.mtd|");
        EXPECT_EQ(ext, "mtd");
        saveFolder = folder;
        return saveAnswer;
    }

    bool pageAccepts = true;
    std::deque<bool> answers;
    std::function<void()> onQuestion;
    std::optional<fs::path> saveAnswer;
    std::vector<std::string> questions;
    std::vector<std::string> errors;
    fs::path saveFolder;
};

// Points the methods folder and the work log at a fresh folder and sets
// the two failure options; puts the options back afterwards.
class MethodSheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = CProgramSettings::instance().options();
        CProgramSettings::instance().update([&](ProgramOptions& o) {
            o.methodPath = (dir_.path() / "Methods").string();
            o.checkViewNoMethod = true;
            o.autoGenerateMethod = false;
        });
        CWorkLog::instance().start(dir_.path() / "log", "test", "today");
    }
    void TearDown() override {
        CWorkLog::instance().stop();
        CProgramSettings::instance().setOptions(saved_);
    }
    void setFailureOptions(bool checkView, bool autoGenerate) {
        CProgramSettings::instance().update([&](ProgramOptions& o) {
            o.checkViewNoMethod = checkView;
            o.autoGenerateMethod = autoGenerate;
        });
    }
    fs::path methods() const { return dir_.path() / "Methods"; }
    std::string log() const {
        return text::fromCp1251(test::readFile(dir_.path() / "log" / CWorkLog::kFileName));
    }

    test::TempDir dir_;
    ProgramOptions saved_;
};

Method sampleMethod() {
    Method m;
    m.info.description = "Природный газ";
    m.capture.analysisTime = 12.5f;
    m.marking.events = {{6, 1.0, 0.2, 1}};
    MethodComponent c;
    c.name = "Метан";
    c.retentionTime = 1.25;
    c.points.push_back({1700000000, 1.25, 10, 20, 0.5, 3, 0});
    m.calculation.components.push_back(c);
    m.groups.push_back({"Метан", "Углеводороды"});
    m.ehd.emplace();
    return m;
}

TEST_F(MethodSheetTest, WriteAndReadThroughTheMethodsFolder) {
    CMethodSheet sheet;
    EXPECT_EQ(sheet.caption(), "Метод");
    sheet.method() = sampleMethod();
    const Status written = sheet.WriteMethod("Газ");
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(fs::exists(methods() / "Газ.mtd"));
    EXPECT_EQ(sheet.name(), "");  // WriteMethod alone does not rename the sheet
    EXPECT_NE(log().find("~ Оператор сохранил метод Газ"), std::string::npos);

    CMethodSheet read;
    const Status wasRead = read.ReadMethod("Газ");
    ASSERT_TRUE(wasRead) << wasRead.message();
    EXPECT_EQ(read.method(), sampleMethod());
    EXPECT_EQ(read.name(), "Газ");
    EXPECT_EQ(read.caption(), "Метод Газ");
    EXPECT_TRUE(read.hasEhdSettings());
    EXPECT_FALSE(read.hasKalderSettings());

    // Saving under the name read writes the same file again.
    const std::string before = test::readFile(methods() / "Газ.mtd");
    ASSERT_TRUE(read.SaveMethod());
    EXPECT_EQ(test::readFile(methods() / "Газ.mtd"), before);
    EXPECT_EQ(before, writeMethodFile(sampleMethod()));
}

TEST_F(MethodSheetTest, MissingFileFollowsTheFailureOptions) {
    FakePrompts prompts;
    CMethodSheet sheet;
    sheet.setPrompts(&prompts);
    sheet.method().capture.analysisTime = 7;

    setFailureOptions(true, true);
    EXPECT_FALSE(sheet.ReadMethod("Нет"));
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find("Нет.mtd"), std::string::npos);
    EXPECT_EQ(sheet.name(), "");

    setFailureOptions(false, true);
    EXPECT_TRUE(sheet.ReadMethod("Нет"));
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(sheet.name(), "Нет");
    EXPECT_EQ(sheet.caption(), "Метод Нет");
    EXPECT_FLOAT_EQ(sheet.method().capture.analysisTime, 7);  // what the sheet held
    // Saving it later creates the file.
    ASSERT_TRUE(sheet.SaveMethod());
    EXPECT_TRUE(fs::exists(methods() / "Нет.mtd"));

    setFailureOptions(false, false);
    CMethodSheet quiet;
    quiet.setPrompts(&prompts);
    const Status quietRead = quiet.ReadMethod("Другой");
    EXPECT_FALSE(quietRead);
    EXPECT_EQ(prompts.errors.size(), 1u);
    EXPECT_FALSE(quietRead.message().empty());
    EXPECT_EQ(quiet.name(), "");
}

TEST_F(MethodSheetTest, DamagedFileIsNeverTakenAsRead) {
    fs::create_directories(methods());
    std::string damaged = writeMethodFile(sampleMethod());
    damaged.resize(damaged.size() / 2);
    test::writeFile(methods() / "Битый.mtd", damaged);
    FakePrompts prompts;

    for (const auto& [checkView, autoGenerate] :
         {std::pair{true, false}, std::pair{true, true}, std::pair{false, true},
          std::pair{false, false}}) {
        SCOPED_TRACE(std::to_string(checkView) + std::to_string(autoGenerate));
        setFailureOptions(checkView, autoGenerate);
        prompts.errors.clear();
        CMethodSheet sheet;
        sheet.setPrompts(&prompts);
        sheet.method().info.comment = "held";
        EXPECT_FALSE(sheet.ReadMethod("Битый"));
        EXPECT_EQ(sheet.name(), "");
        EXPECT_EQ(sheet.method().info.comment, "held");
        if (checkView) {
            ASSERT_EQ(prompts.errors.size(), 1u);
            EXPECT_EQ(prompts.errors[0],
                      "Ошибка чтения файла метода \"Битый.mtd\". \n\nРекомендуется удалить "
                      "данный файл,\nи затем создать новый метод с таким же именем.");
        } else {
            EXPECT_TRUE(prompts.errors.empty());
        }
    }
    EXPECT_NE(log().find("! Ошибка чтения файла метода \"Битый.mtd\""), std::string::npos);

    // A version from the future is refused the same way.
    std::string future = writeMethodFile(sampleMethod());
    future[4] = 58;
    test::writeFile(methods() / "Новее.mtd", future);
    setFailureOptions(false, true);
    CMethodSheet sheet;
    EXPECT_FALSE(sheet.ReadMethod("Новее"));
    EXPECT_EQ(sheet.method(), Method{});
}

TEST_F(MethodSheetTest, AutomaticSaveLeavesADamagedFileAlone) {
    FakePrompts prompts;
    CMethodSheet sheet;
    sheet.setPrompts(&prompts);
    sheet.method() = sampleMethod();
    ASSERT_TRUE(sheet.WriteMethod("М1"));
    ASSERT_TRUE(sheet.ReadMethod("М1"));
    test::writeFile(methods() / "М1.mtd", "junk");

    EXPECT_FALSE(sheet.SaveMethod(SaveIntent::Automatic));
    EXPECT_EQ(test::readFile(methods() / "М1.mtd"), "junk");
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find("М1.mtd"), std::string::npos);

    // A readable file, or none at all, is saved automatically as usual.
    ASSERT_TRUE(sheet.SaveMethod());  // the person saves on purpose
    EXPECT_EQ(test::readFile(methods() / "М1.mtd"), writeMethodFile(sampleMethod()));
    EXPECT_TRUE(sheet.SaveMethod(SaveIntent::Automatic));
    EXPECT_TRUE(sheet.WriteMethod("М2", SaveIntent::Automatic));
}

TEST_F(MethodSheetTest, NamesOutsideTheMethodsFolderAreRefused) {
    FakePrompts prompts;
    CMethodSheet sheet;
    sheet.setPrompts(&prompts);
    for (const char* name : {"../escape", "a/b", "a\\b", "", "  ", "..", ".", "x..y"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(isValidMethodName(name));
        EXPECT_FALSE(sheet.WriteMethod(name));
        EXPECT_FALSE(sheet.ReadMethod(name));
    }
    EXPECT_FALSE(fs::exists(dir_.path() / "escape.mtd"));
    EXPECT_TRUE(isValidMethodName("Газ 2 (колонка HP-5)"));

    // The save dialog's choice is refused the same way.
    prompts.saveAnswer = fs::path("/tmp/..mtd");
    EXPECT_FALSE(sheet.SaveMethodAs());
    EXPECT_EQ(sheet.name(), "");
}

TEST_F(MethodSheetTest, ProgrammeTimeQuestionsComeBeforeTheFileIsTouched) {
    FakePrompts prompts;
    CMethodSheet sheet;
    sheet.setPrompts(&prompts);
    sheet.method().kalder.emplace();
    MethodKalderSettings& k = *sheet.method().kalder;
    k.programTemperature = {50, 150, 200, 0, 0};
    k.programIsotherm = {10, 5, 0, 0, 0};
    k.programRate = {10, 0, 0, 0};  // programme: 10 + 10 + 5 = 25 min
    sheet.method().capture.analysisTime = 20;
    ASSERT_TRUE(sheet.WriteMethod("Прог"));  // no answers: nothing changes
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0],
              "Время температурной программы прибора Zelmora Kalder (25.00 мин) - больше, чем "
              "время метода (20.00 мин).\n          Увеличить время метода?");
    EXPECT_FLOAT_EQ(sheet.method().capture.analysisTime, 20);
    const std::string old = test::readFile(methods() / "Прог.mtd");

    // OK lengthens the method; the file is still the old one while asking.
    prompts.questions.clear();
    prompts.answers = {true};
    prompts.onQuestion = [&] { EXPECT_EQ(test::readFile(methods() / "Прог.mtd"), old); };
    ASSERT_TRUE(sheet.WriteMethod("Прог"));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_FLOAT_EQ(sheet.method().capture.analysisTime, 25);
    prompts.onQuestion = nullptr;

    // A method longer than the programme lengthens the programme's last step.
    sheet.method().capture.analysisTime = 40;
    prompts.questions.clear();
    prompts.answers = {true};
    ASSERT_TRUE(sheet.WriteMethod("Прог"));
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0],
              "Время метода (40.00 мин) - больше, чем время температурной программы прибора "
              "Zelmora Kalder (25.00 мин).\n       Увеличить время температурной программы "
              "прибора?");
    EXPECT_FLOAT_EQ(sheet.method().kalder->programIsotherm[1], 20);
    EXPECT_DOUBLE_EQ(sheet.method().kalder->programTime(), 40);
    CMethodSheet check;
    ASSERT_TRUE(check.ReadMethod("Прог"));
    EXPECT_FLOAT_EQ(check.method().kalder->programIsotherm[1], 20);

    // Equal times ask nothing.
    prompts.questions.clear();
    ASSERT_TRUE(sheet.WriteMethod("Прог"));
    EXPECT_TRUE(prompts.questions.empty());

    // A page that rejects its values stops the save before anything else.
    prompts.pageAccepts = false;
    sheet.method().capture.analysisTime = 50;
    EXPECT_FALSE(sheet.WriteMethod("Прог"));
    EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(MethodSheetTest, FailedWriteIsReportedAndLogsNothing) {
    FakePrompts prompts;
    CMethodSheet sheet;
    sheet.setPrompts(&prompts);
    // The target is a folder that cannot be replaced by a file.
    fs::create_directories(methods() / "Папка.mtd" / "inside");
    int told = 0;
    auto subscription =
        MethodSaveNotifier::instance().subscribe([&](const MethodSavedEvent&) { ++told; });
    EXPECT_FALSE(sheet.WriteMethod("Папка"));
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find("Папка.mtd"), std::string::npos);
    EXPECT_EQ(log().find("Папка"), std::string::npos);
    EXPECT_EQ(told, 0);
    EXPECT_TRUE(fs::is_directory(methods() / "Папка.mtd" / "inside"));
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(methods()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 0);
}

TEST_F(MethodSheetTest, SaveAsTakesTheChosenTitle) {
    FakePrompts prompts;
    CMethodSheet sheet;
    EXPECT_FALSE(sheet.SaveMethodAs());  // nobody to ask
    sheet.setPrompts(&prompts);
    sheet.method() = sampleMethod();

    std::vector<MethodSavedEvent> events;
    auto subscription = MethodSaveNotifier::instance().subscribe(
        [&](const MethodSavedEvent& e) { events.push_back(e); });

    EXPECT_FALSE(sheet.SaveMethodAs());  // cancelled
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(prompts.saveFolder, methods());

    // SaveMethod without a name asks too; the title of the chosen file is
    // the name, and the file goes into the methods folder.
    prompts.saveAnswer = dir_.path() / "elsewhere" / "Новый.mtd";
    ASSERT_TRUE(sheet.SaveMethod());
    EXPECT_EQ(sheet.name(), "Новый");
    EXPECT_EQ(sheet.caption(), "Метод Новый");
    EXPECT_TRUE(sheet.newNameFlag());
    EXPECT_TRUE(fs::exists(methods() / "Новый.mtd"));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "Новый");
    EXPECT_TRUE(events[0].newName);

    // With a name, SaveMethod writes without asking.
    prompts.saveAnswer = dir_.path() / "Другое.mtd";
    ASSERT_TRUE(sheet.SaveMethod());
    EXPECT_EQ(sheet.name(), "Новый");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[1].newName);

    subscription.reset();
    ASSERT_TRUE(sheet.SaveMethod());
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(MethodSheetTest, SubscribersMayReloadOrLeaveWhileBeingTold) {
    CMethodSheet editor;
    editor.method() = sampleMethod();
    CMethodSheet copy;  // a chromatogram's own copy of "Общий"
    int reloads = 0;
    MethodSaveNotifier::Subscription second;
    auto first = MethodSaveNotifier::instance().subscribe([&](const MethodSavedEvent& e) {
        if (e.name == "Общий" && copy.ReadMethod(e.name))
            ++reloads;
        second.reset();  // ends the other subscription before it is called
    });
    int secondCalls = 0;
    second =
        MethodSaveNotifier::instance().subscribe([&](const MethodSavedEvent&) { ++secondCalls; });
    ASSERT_TRUE(editor.WriteMethod("Общий"));
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(copy.method(), sampleMethod());
}

}  // namespace
}  // namespace zelmora
