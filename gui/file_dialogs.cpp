#include "gui/file_dialogs.h"

#include <QFileDialog>

namespace zelmora::gui {
namespace {

// Replaced by the tests only, on the interface thread.
FileChooser& chooser() {
    static FileChooser c;
    return c;
}

QString runDialog(const FileRequest& r) {
    QFileDialog dlg(r.parent, r.caption, r.start, r.filter);
    dlg.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!r.defaultSuffix.isEmpty())
        dlg.setDefaultSuffix(r.defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().front();
}

}  // namespace

QString chooseFile(const FileRequest& request) {
    if (chooser())
        return chooser()(request);
    return runDialog(request);
}

ScopedFileChooser::ScopedFileChooser(FileChooser c) : previous_(std::move(chooser())) {
    chooser() = std::move(c);
}

ScopedFileChooser::~ScopedFileChooser() {
    chooser() = std::move(previous_);
}

}  // namespace zelmora::gui
