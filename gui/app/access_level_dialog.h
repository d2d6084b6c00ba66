#pragma once
// "Изменение уровня доступа": asks for the pass word of levels 3 to 5. The
// OK button stays disabled until the text is one of the word's accepted
// spellings.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zelmora::gui {

class CAccessLevelDialog : public QDialog {
    Q_OBJECT
  public:
    CAccessLevelDialog(int level, QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }

  private:
    int level_;
    QLineEdit* edit_;
    QPushButton* ok_;
};

}  // namespace zelmora::gui
