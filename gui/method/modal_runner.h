#pragma once
// Every modal dialog of the method editor (the sheet, the chooser, the
// calibration dialog, "Компонент") runs through runModal(), so that the
// tests can fill the dialog in and press its buttons without a message loop
// of their own; the program itself calls exec().

#include <functional>

class QDialog;

namespace zelmora::gui {

using ModalRunner = std::function<int(QDialog&)>;

// The dialog's result: exec() unless a runner is in place.
int runModal(QDialog& dialog);

// Puts `runner` in place of exec() for as long as it lives.
class ScopedModalRunner {
  public:
    explicit ScopedModalRunner(ModalRunner runner);
    ~ScopedModalRunner();
    ScopedModalRunner(const ScopedModalRunner&) = delete;
    ScopedModalRunner& operator=(const ScopedModalRunner&) = delete;

  private:
    ModalRunner previous_;
};

}  // namespace zelmora::gui
