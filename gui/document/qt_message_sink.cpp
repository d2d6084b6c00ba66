#include "gui/document/qt_message_sink.h"

#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

// The core writes Windows line ends into some of its texts.
QString toQt(std::string_view s) {
    QString text = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::Warning;
}

}  // namespace

QWidget* QtMessageSink::owner() const {
    // A window that is not shown (a document being opened) would put the box
    // nowhere; the box then stands on its own.
    return owner_ != nullptr && owner_->isVisible() ? owner_.data() : nullptr;
}

void QtMessageSink::message(int /*resourceId*/, std::string_view text) {
    MessageRequest r;
    r.parent = owner();
    r.icon = QMessageBox::Warning;
    r.text = toQt(text);
    showMessage(r);
}

void QtMessageSink::messageBox(std::string_view caption, std::string_view text, MessageIcon icon) {
    MessageRequest r;
    r.parent = owner();
    r.icon = iconOf(icon);
    r.caption = toQt(caption);
    r.text = toQt(text);
    showMessage(r);
}

bool QtMessageSink::askYesNo(std::string_view caption, std::string_view text) {
    MessageRequest r;
    r.parent = owner();
    r.icon = QMessageBox::Question;
    r.caption = toQt(caption);
    r.text = toQt(text);
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    r.defaultButton = QMessageBox::No;
    return showMessage(r) == QMessageBox::Yes;
}

}  // namespace zelmora::gui
