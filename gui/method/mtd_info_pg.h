#pragma once
// "Информация": the method's short description, which the method chooser
// shows, and its free comment.

#include <QWidget>

#include "method/method_records.h"

class QLineEdit;
class QPlainTextEdit;

namespace zelmora::gui {

class CMtdInfoPg : public QWidget {
    Q_OBJECT
  public:
    explicit CMtdInfoPg(MethodInfo& info, QWidget* parent = nullptr);

    bool takeValues();

    QLineEdit* description() const { return description_; }
    QPlainTextEdit* comment() const { return comment_; }

  private:
    MethodInfo& info_;
    QLineEdit* description_ = nullptr;
    QPlainTextEdit* comment_ = nullptr;
};

}  // namespace zelmora::gui
