#pragma once
// CMethodSheet: one method in memory, as the method editor and as a
// chromatogram's own copy of its method. It holds the method's records, its
// name (empty for a method never read or saved) and the new-name flag that
// records a save under a new name while the sheet is open.
//
// Methods live as "<name>.mtd" in the methods folder ("MethodPath"). A read
// goes into a scratch copy and is taken over only when the whole file was
// read; a save writes a temporary file and renames it over the old one, so a
// failure leaves the old method as it was.
//
// A sheet belongs to one thread at a time (the user-interface thread); it
// has no lock of its own.

#include <filesystem>
#include <string>
#include <string_view>

#include "app/result.h"
#include "method/method_records.h"

namespace zelmora {

class MethodPrompts;

// Who asked for a save. An automatic save (after automatic marking, for
// instance) never replaces a method file that exists but cannot be read: the
// person must save such a method on purpose.
enum class SaveIntent { ByOperator, Automatic };

// True for a name that stays inside the methods folder: not empty, without
// a path separator and without "..".
bool isValidMethodName(std::string_view name);
// "<MethodPath>/<name>.mtd".
std::filesystem::path methodFilePath(std::string_view name);

class CMethodSheet {
  public:
    // Device-type name of the chromatograph in the programme-time questions.
    static constexpr const char* kKalderName = "Zelmora Kalder";

    CMethodSheet() = default;

    Method& method() { return method_; }
    const Method& method() const { return method_; }

    const std::string& name() const { return name_; }
    // "Метод" without a name, "Метод <name>" with one.
    std::string caption() const;
    bool newNameFlag() const { return newName_; }
    void clearNewNameFlag() { newName_ = false; }

    bool hasKalderSettings() const { return method_.kalder.has_value(); }
    bool hasEhdSettings() const { return method_.ehd.has_value(); }

    // The person's side of reading and saving; may be null. Not owned.
    void setPrompts(MethodPrompts* prompts) { prompts_ = prompts; }
    MethodPrompts* prompts() const { return prompts_; }
    // Reads and saves report a failure with its reason, also when the
    // options let no message be shown; a message shown goes through the
    // prompts.
    //
    // Reads the method file `name` from the methods folder. On success the
    // sheet takes the name. Failures follow "CheckViewNoMethod" (a message)
    // and "AutoGenerateMethod" (a missing file gives a method of that name
    // with what the sheet already held).
    Status ReadMethod(const std::string& name);
    // Writes the sheet as the method file `name`, after the questions about
    // the instrument's temperature programme. Writes "~ Оператор сохранил
    // метод <name>" into the work log and tells the subscribers of saved
    // methods.
    Status WriteMethod(const std::string& name, SaveIntent intent = SaveIntent::ByOperator);
    // WriteMethod under the current name, or SaveMethodAs without one.
    Status SaveMethod(SaveIntent intent = SaveIntent::ByOperator);
    // Asks for a name in the save dialog and writes the method under it; on
    // success takes the name and sets the new-name flag. A cancelled dialog
    // is a failure too: nothing was saved.
    Status SaveMethodAs();

  private:
    Status write(const std::string& name, SaveIntent intent, bool newName);
    void askAboutProgrammeTime();
    // The failure `message`, shown through the prompts when `show` is set.
    Status report(std::string message, bool show);

    Method method_;
    std::string name_;
    bool newName_ = false;
    MethodPrompts* prompts_ = nullptr;
};

}  // namespace zelmora
