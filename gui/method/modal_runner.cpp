#include "gui/method/modal_runner.h"

#include <QDialog>

namespace zelmora::gui {
namespace {
// The user-interface thread's runner; only that thread shows dialogs.
ModalRunner& currentRunner() {
    static ModalRunner runner;
    return runner;
}
}  // namespace

int runModal(QDialog& dialog) {
    if (const ModalRunner& r = currentRunner())
        return r(dialog);
    return dialog.exec();
}

ScopedModalRunner::ScopedModalRunner(ModalRunner runner) : previous_(std::move(currentRunner())) {
    currentRunner() = std::move(runner);
}

ScopedModalRunner::~ScopedModalRunner() {
    currentRunner() = std::move(previous_);
}

}  // namespace zelmora::gui
