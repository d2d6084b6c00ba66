#include "gui/number_edit.h"

#include "app/text.h"
#include "gui/message_box.h"

namespace zelmora::gui {

NumberEdit::NumberEdit(double minimum, double maximum, QWidget* parent)
    : QLineEdit(parent), minimum_(minimum), maximum_(maximum) {}

void NumberEdit::setValue(double value) {
    setText(QString::fromStdString(text::format("%g", value)));
}

std::optional<double> NumberEdit::value() const {
    const std::optional<double> v = text::parseDouble(text().toStdString(), true);
    if (!v || *v < minimum_ || *v > maximum_)
        return std::nullopt;
    return v;
}

QString NumberEdit::rangeMessage() const {
    return QString::fromStdString(text::format("Введите число от %g до %g.", minimum_, maximum_));
}

std::optional<double> NumberEdit::take() {
    const std::optional<double> v = value();
    if (!v) {
        MessageRequest r;
        r.parent = window();
        r.icon = QMessageBox::Warning;
        r.text = rangeMessage();
        showMessage(r);
        setFocus();
        selectAll();
    }
    return v;
}

}  // namespace zelmora::gui
