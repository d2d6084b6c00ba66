#pragma once
// What reading and saving a method needs from a person: a look at the page
// being edited, the two questions about the instrument's temperature
// programme, error messages and the save dialog. The desktop program
// answers with its sheet, message boxes and file dialog; without an
// implementation (the command line, tests) nothing is asked, no question is
// answered with OK and errors are only kept as the sheet's last error.

#include <filesystem>
#include <optional>
#include <string>

namespace zelmora {

class MethodPrompts {
  public:
    virtual ~MethodPrompts() = default;

    // Takes the values out of the page shown, when the sheet is shown;
    // false when that page rejects its values.
    virtual bool takeShownPage() { return true; }

    // A warning with OK and Cancel (exclamation icon); true for OK.
    virtual bool askOkCancel(const std::string& text, const std::string& caption) = 0;

    // An error message (exclamation icon).
    virtual void showError(const std::string& text) = 0;

    // The save dialog: file types `filter` ("Метод (*.mtd)|*.mtd|"), default
    // extension `defaultExtension`, starting in `folder`, asking before an
    // existing file is replaced, without the read-only box and without changing
    // the current folder. Returns the file chosen, or nothing when the
    // person cancelled.
    virtual std::optional<std::filesystem::path> askSaveFile(
        const std::filesystem::path& folder, const std::string& filter,
        const std::string& defaultExtension) = 0;
};

}  // namespace zelmora
