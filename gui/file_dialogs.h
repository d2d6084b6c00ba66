#pragma once
// The open and save file dialogs of the desktop program, through one
// function that the tests replace to answer them without a window.

#include <QString>
#include <functional>

class QWidget;

namespace zelmora::gui {

struct FileRequest {
    QWidget* parent = nullptr;
    bool save = false;  // a save dialog, which asks before replacing a file
    QString caption;
    QString start;  // folder or proposed file
    QString filter;
    QString defaultSuffix;  // added to a typed name without extension
};

using FileChooser = std::function<QString(const FileRequest&)>;

// The chosen file, or an empty text when the person cancelled.
QString chooseFile(const FileRequest& request);

// Puts `chooser` in place of the dialogs for as long as it lives.
class ScopedFileChooser {
  public:
    explicit ScopedFileChooser(FileChooser chooser);
    ~ScopedFileChooser();
    ScopedFileChooser(const ScopedFileChooser&) = delete;
    ScopedFileChooser& operator=(const ScopedFileChooser&) = delete;

  private:
    FileChooser previous_;
};

// The chromatogram file type of the dialogs.
inline QString chromatogramFilter() {
    return QStringLiteral("Файлы хроматограмм (*.stg)");
}

}  // namespace zelmora::gui
