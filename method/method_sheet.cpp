#include "method/method_sheet.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "method/method_file.h"
#include "method/method_notifier.h"
#include "method/method_prompts.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// No method file comes near this; a larger file is refused before it is
// read into memory.
constexpr std::uintmax_t kMaxMethodFileSize = 256u << 20;

constexpr const char* kWarningCaption = "Предупреждение";

enum class FileRead { Ok, Missing, Unreadable, TooLarge };

FileRead readWholeFile(const fs::path& path, std::string& out, std::string& reason) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
        reason = "файл не найден";
        return FileRead::Missing;
    }
    if (!fs::is_regular_file(st)) {
        reason = "это не файл";
        return FileRead::Unreadable;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        reason = ec.message();
        return FileRead::Unreadable;
    }
    if (size > kMaxMethodFileSize) {
        reason = "файл слишком большой";
        return FileRead::TooLarge;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return FileRead::Unreadable;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        reason = "ошибка чтения";
        return FileRead::Unreadable;
    }
    out = std::move(buffer).str();
    return FileRead::Ok;
}

std::string damagedFileText(const std::string& name) {
    return "Ошибка чтения файла метода \"" + name +
           ".mtd\". \n\nРекомендуется удалить данный файл,\nи затем создать новый метод с "
           "таким же именем.";
}

}  // namespace

bool isValidMethodName(std::string_view name) {
    if (name.empty() || text::trim(name).empty() || name == ".")
        return false;
    if (name.find_first_of("/\\") != std::string_view::npos)
        return false;
    if (name.find('\0') != std::string_view::npos)
        return false;
    return name.find("..") == std::string_view::npos;
}

fs::path methodFilePath(std::string_view name) {
    const fs::path folder = programOptions().methodFolder();
    fs::path exact = folder / (std::string(name) + ".mtd");
    std::error_code ec;
    if (fs::exists(exact, ec))
        return exact;
    // Method names are matched without regard to case, as chromatograms
    // written on other systems name them.
    const std::string wanted = std::string(name) + ".mtd";
    for (const std::string& file : methodFiles(folder)) {
        if (text::equalsNoCase(file, wanted))
            return folder / file;
    }
    return exact;
}

std::string CMethodSheet::caption() const {
    return name_.empty() ? std::string("Метод") : "Метод " + name_;
}

Status CMethodSheet::report(std::string message, bool show) {
    if (show && prompts_ != nullptr)
        prompts_->showError(message);
    return Status::failure(std::move(message));
}

Status CMethodSheet::ReadMethod(const std::string& name) {
    const ProgramOptions o = programOptions();
    if (!isValidMethodName(name)) {
        return report("Недопустимое имя метода \"" + name + "\"", o.checkViewNoMethod);
    }
    const fs::path path = methodFilePath(name);
    std::string bytes, reason;
    const FileRead fileRead = readWholeFile(path, bytes, reason);
    if (fileRead == FileRead::Missing || fileRead == FileRead::Unreadable) {
        const std::string message =
            fileRead == FileRead::Missing
                ? "Файл \"" + path.string() + "\" не найден."
                : "Ошибка при открытии файла \"" + path.string() + "\": " + reason;
        if (o.checkViewNoMethod)
            return report(message, true);
        // Only a method that does not exist yet is generated; a file that is
        // there but cannot be opened is not replaced by a later save.
        if (o.autoGenerateMethod && fileRead == FileRead::Missing) {
            name_ = name;
            return {};
        }
        return report(message, false);
    }

    const Result<int> result = fileRead == FileRead::TooLarge ? Result<int>(Status::failure(reason))
                                                              : readMethodFile(bytes, method_);
    if (!result) {
        // A damaged method is never taken as read, whatever the options say:
        // it would be overwritten by the next save.
        const std::string message = damagedFileText(name);
        report(message, o.checkViewNoMethod);
        if (!o.checkViewNoMethod)
            CWorkLog::instance().write("! Ошибка чтения файла метода \"" + name +
                                       ".mtd\": " + result.message());
        return Status::failure(message + " (" + result.message() + ")");
    }
    name_ = path.stem().string();  // as the file is named
    return {};
}

void CMethodSheet::askAboutProgrammeTime() {
    if (!method_.kalder)
        return;
    MethodKalderSettings& kalder = *method_.kalder;
    float& analysisTime = method_.capture.analysisTime;

    double programme = kalder.programTime();
    if (analysisTime + 0.001 < programme && prompts_ != nullptr) {
        const std::string question = text::format(
            "Время температурной программы прибора %s (%-.2f мин) - больше, чем время метода "
            "(%-.2f мин).\n          Увеличить время метода?",
            kKalderName, programme, double(analysisTime));
        if (prompts_->askOkCancel(question, kWarningCaption))
            analysisTime = static_cast<float>(programme);
    }

    programme = kalder.programTime();
    if (programme + 0.001 < analysisTime && prompts_ != nullptr) {
        const std::string question = text::format(
            "Время метода (%-.2f мин) - больше, чем время температурной программы прибора %s "
            "(%-.2f мин).\n       Увеличить время температурной программы прибора?",
            double(analysisTime), kKalderName, programme);
        if (prompts_->askOkCancel(question, kWarningCaption))
            kalder.lengthenProgram(analysisTime - programme);
    }
}

Status CMethodSheet::write(const std::string& name, SaveIntent intent, bool newName) {
    if (!isValidMethodName(name))
        return report("Недопустимое имя метода \"" + name + "\"", true);
    if (prompts_ != nullptr && !prompts_->takeShownPage())
        return Status::failure("значения страницы не приняты");
    const fs::path folder = programOptions().methodFolder();
    const fs::path path = folder / (name + ".mtd");

    if (intent == SaveIntent::Automatic) {
        std::string bytes, reason;
        const FileRead fileRead = readWholeFile(path, bytes, reason);
        Method scratch;
        if (fileRead != FileRead::Missing &&
            (fileRead != FileRead::Ok || !readMethodFile(bytes, scratch))) {
            const std::string message = "Файл метода \"" + name +
                                        ".mtd\" не читается и не будет перезаписан "
                                        "автоматически. Сохраните метод вручную.";
            const Status refused = report(message, true);
            CWorkLog::instance().write("! " + message);
            return refused;
        }
    }

    // Every question is asked before the file is touched.
    askAboutProgrammeTime();

    const std::string bytes = writeMethodFile(method_);
    const Status written =
        paths::ensureFolder(folder)
            ? paths::writeFileAtomically(path, bytes)
            : Status::failure("не удалось создать папку \"" + folder.string() + "\"");
    if (!written)
        return report("Ошибка при записи файла \"" + path.string() + "\": " + written.message(),
                      true);
    CWorkLog::instance().write("~ Оператор сохранил метод " + name);
    MethodSaveNotifier::instance().notify({name, newName});
    return {};
}

Status CMethodSheet::WriteMethod(const std::string& name, SaveIntent intent) {
    return write(name, intent, false);
}

Status CMethodSheet::SaveMethod(SaveIntent intent) {
    if (!name_.empty())
        return write(name_, intent, false);
    return SaveMethodAs();
}

Status CMethodSheet::SaveMethodAs() {
    if (prompts_ == nullptr)
        return Status::failure("не задано имя метода");
    const std::optional<fs::path> chosen =
        prompts_->askSaveFile(programOptions().methodFolder(), "Метод (*.mtd)|*.mtd|", "mtd");
    if (!chosen)
        return Status::failure("сохранение метода отменено");
    const std::string title = chosen->stem().string();
    // The name first, so that subscribers told of the save see the sheet
    // under its new name; put back when the write fails.
    const std::string oldName = name_;
    name_ = title;
    if (Status written = write(title, SaveIntent::ByOperator, true); !written) {
        name_ = oldName;
        return written;
    }
    newName_ = true;
    return {};
}

}  // namespace zelmora
