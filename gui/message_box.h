#pragma once
// Every message box and question of the desktop program goes through
// showMessage(), so that the tests can read and answer them without a
// window; the program itself shows a QMessageBox with Russian button texts.
// A failed operation of the core reaches the operator through showFailure().

#include <QMessageBox>
#include <QString>
#include <functional>

#include "app/result.h"

namespace zelmora::gui {

struct MessageRequest {
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString caption = QStringLiteral("Zelmora");
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

using MessagePresenter = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

// Shows the message and returns the button pressed (Cancel, or No when
// there is no Cancel, for a box closed without a button).
QMessageBox::StandardButton showMessage(const MessageRequest& request);

// The one place where a failed result of the core becomes the operator's
// message box: the failure's message, or `context` with "%1" replaced by it
// ("Не удалось сохранить настройки: %1"), with an Ok button.
void showFailure(QWidget* parent, const Status& failure, const QString& context = {},
                 QMessageBox::Icon icon = QMessageBox::Warning,
                 const QString& caption = QStringLiteral("Zelmora"));

// Puts `presenter` in place of the message boxes for as long as it lives;
// the previous presenter comes back afterwards.
class ScopedMessagePresenter {
  public:
    explicit ScopedMessagePresenter(MessagePresenter presenter);
    ~ScopedMessagePresenter();
    ScopedMessagePresenter(const ScopedMessagePresenter&) = delete;
    ScopedMessagePresenter& operator=(const ScopedMessagePresenter&) = delete;

  private:
    MessagePresenter previous_;
};

}  // namespace zelmora::gui
