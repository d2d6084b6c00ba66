#include "gui/method/method_commands.h"

#include "gui/message_box.h"
#include "gui/method/method_chooser.h"
#include "gui/method/method_sheet_dlg.h"
#include "method/method_prompts.h"
#include "method/method_sheet.h"

namespace zelmora::gui {
namespace {

// The messages of reading a method before its sheet is shown.
class ReadPrompts : public MethodPrompts {
  public:
    explicit ReadPrompts(QWidget* parent) : parent_(parent) {}
    bool askOkCancel(const std::string&, const std::string&) override { return false; }
    void showError(const std::string& text) override {
        MessageRequest r;
        r.parent = parent_;
        r.icon = QMessageBox::Warning;
        r.text = QString::fromStdString(text);
        showMessage(r);
    }
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path&,
                                                     const std::string&,
                                                     const std::string&) override {
        return std::nullopt;
    }

  private:
    QWidget* parent_;
};

}  // namespace

namespace {

std::optional<MethodSheetResult> showNamedMethod(const std::string& name, QWidget* parent) {
    CMethodSheet sheet;
    ReadPrompts prompts(parent);
    sheet.setPrompts(&prompts);
    const Status read = sheet.ReadMethod(name);
    sheet.setPrompts(nullptr);
    if (!read)
        return std::nullopt;
    return runMethodSheet(sheet, CMethodSheetDlg::kInfo, parent);
}

}  // namespace

std::optional<MethodSheetResult> openMethod(QWidget* parent) {
    const std::optional<std::string> name = chooseMethod(parent, {});
    if (!name)
        return std::nullopt;
    return showNamedMethod(*name, parent);
}

bool editMethod(const std::string& name, QWidget* parent) {
    const std::optional<MethodSheetResult> r = showNamedMethod(name, parent);
    return r && *r != MethodSheetResult::Cancelled;
}

MethodSheetResult newMethod(QWidget* parent) {
    CMethodSheet sheet;
    return runMethodSheet(sheet, CMethodSheetDlg::kInfo, parent);
}

}  // namespace zelmora::gui
