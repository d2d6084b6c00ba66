#pragma once
// "Журнал работы": the work log shown read-only in a window of its own,
// decoded from Windows-1251, scrolled to its end, with a find line. While the
// window is open it follows the file: new entries appear as they are
// written, and a log trimmed at a start is read afresh.

#include <QWidget>
#include <cstdint>
#include <filesystem>

class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QLabel;

namespace zelmora::gui {

class CWorkLogWnd : public QWidget {
    Q_OBJECT
  public:
    // `pollMs`: how often the file is looked at for new entries.
    explicit CWorkLogWnd(std::filesystem::path file, QWidget* parent = nullptr, int pollMs = 1000);

    // Reads what was added to the file since the last look (all of it when
    // the file is new or shorter than before).
    void follow();
    // Finds the text of the find line after the cursor, wrapping once; false
    // when it is nowhere.
    bool findNext();

    QPlainTextEdit* text() const { return text_; }
    QLineEdit* findLine() const { return find_; }
    const std::filesystem::path& file() const { return file_; }

  private:
    std::filesystem::path file_;
    std::uint64_t read_ = 0;  // bytes of the file shown
    QPlainTextEdit* text_ = nullptr;
    QLineEdit* find_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace zelmora::gui
