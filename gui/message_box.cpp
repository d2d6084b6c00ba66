#include "gui/message_box.h"

#include <QAbstractButton>

namespace zelmora::gui {
namespace {

// Replaced by the tests only, on the interface thread.
MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}

QMessageBox::StandardButton showBox(const MessageRequest& r) {
    QMessageBox box(r.icon, r.caption, r.text, r.buttons, r.parent);
    if (r.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(r.defaultButton);
    const std::pair<QMessageBox::StandardButton, const char*> russian[] = {
        {QMessageBox::Yes, "Да"},
        {QMessageBox::No, "Нет"},
        {QMessageBox::Cancel, "Отмена"},
    };
    for (const auto& [button, text] : russian) {
        if (QAbstractButton* b = box.button(button))
            b->setText(QString::fromUtf8(text));
    }
    const int result = box.exec();
    return static_cast<QMessageBox::StandardButton>(result);
}

}  // namespace

QMessageBox::StandardButton showMessage(const MessageRequest& request) {
    if (presenter())
        return presenter()(request);
    return showBox(request);
}

void showFailure(QWidget* parent, const Status& failure, const QString& context,
                 QMessageBox::Icon icon, const QString& caption) {
    const QString message = QString::fromStdString(failure.message());
    MessageRequest r;
    r.parent = parent;
    r.icon = icon;
    r.caption = caption;
    r.text = context.isEmpty() ? message : context.arg(message);
    showMessage(r);
}

ScopedMessagePresenter::ScopedMessagePresenter(MessagePresenter p)
    : previous_(std::move(presenter())) {
    presenter() = std::move(p);
}

ScopedMessagePresenter::~ScopedMessagePresenter() {
    presenter() = std::move(previous_);
}

}  // namespace zelmora::gui
