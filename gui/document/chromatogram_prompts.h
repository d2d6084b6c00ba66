#pragma once
// The dialogs that the chromatogram commands show, over the chromatogram's
// window: the sheet "Фильтрация хромотограммы" with the filter page, the
// sheet "Авторазметка" with the marking page (with "Подобрать" over the
// chromatogram's trace), the dialog "Добавить событие"
// over an interval, and the choice of the chromatogram to copy
// concentrations from, the passport dialog, and the method editor on the
// chromatogram's method.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "processing/chromatogram_commands.h"

class QDialog;

namespace zelmora::gui {

class ChromatogramPrompts : public CommandPrompts {
  public:
    explicit ChromatogramPrompts(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    // The chromatogram's trace that "Подобрать" on the marking page asks;
    // none hides the button. It must outlive the prompts.
    void setTrace(const Signal* trace) { trace_ = trace; }

    bool editFilter(FilterSettings& settings) override;
    bool editMarking(MarkingParameters& parameters) override;
    bool editEvent(EventRequest& request) override;
    bool editPassport(CZelmoraDoc& doc) override;
    SheetClose showMethodSheet(CMethodSheet& sheet, int page) override;
    std::optional<std::filesystem::path> chooseChromatogram() override;
    std::optional<std::filesystem::path> chooseSaveFile(const SaveFileRequest& request) override;

    // Runs a dialog and returns its result; exec() unless replaced (tests
    // fill in the dialog and press its buttons from here).
    std::function<int(QDialog&)> runDialog;

  private:
    int run(QDialog& dialog);

    QPointer<QWidget> owner_;
    const Signal* trace_ = nullptr;
};

}  // namespace zelmora::gui
