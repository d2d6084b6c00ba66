#include "gui/instruments/lamp_strip.h"

#include <QHBoxLayout>
#include <QLabel>

namespace zelmora::gui {

namespace {

// Lamp colours as on the instrument: yellow, green, red, blue, blue.
const char* const kColours[CLampStrip::kLamps] = {"#f2c200", "#2fb344", "#e03131", "#3b82f6",
                                                  "#3b82f6"};

QString lampStyle(bool on, int lamp) {
    return on ? QStringLiteral(
                    "QLabel { background: %1; color: black; border: 1px solid #555; "
                    "border-radius: 3px; padding: 1px 4px; }")
                    .arg(QLatin1String(kColours[lamp]))
              : QStringLiteral(
                    "QLabel { background: #d8d8d8; color: #777; border: 1px solid "
                    "#aaa; border-radius: 3px; padding: 1px 4px; }");
}

}  // namespace

QString CLampStrip::lampName(int lamp) {
    static const char* const kNames[kLamps] = {"Подготовка", "Готов", "Авария", "Анализ1",
                                               "Анализ2"};
    return lamp >= 0 && lamp < kLamps ? QString::fromUtf8(kNames[lamp]) : QString();
}

CLampStrip::CLampStrip(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(3);
    for (int i = 0; i < kLamps; ++i) {
        auto* l = new QLabel(lampName(i), this);
        l->setObjectName(QStringLiteral("Lamp%1").arg(i));
        l->setStyleSheet(lampStyle(false, i));
        row->addWidget(l);
        lamps_[static_cast<std::size_t>(i)] = l;
    }
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Readiness"));
    status_->setMinimumWidth(260);
    row->addSpacing(6);
    row->addWidget(status_);
}

void CLampStrip::display(std::uint32_t word, const QString& status, bool blinkPhase) {
    for (int i = 0; i < kLamps; ++i) {
        const auto k = static_cast<std::size_t>(i);
        lit_[k] = (word >> i) & 1u;
        blink_[k] = (word >> (8 + i)) & 1u;
        // A blinking lamp is dark every other refresh.
        lamps_[k]->setStyleSheet(lampStyle(lit_[k] && !(blink_[k] && blinkPhase), i));
    }
    QString text = status;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    status_->setText(lines.isEmpty() ? QString() : lines.join(QStringLiteral("; ")));
    status_->setToolTip(lines.join(QLatin1Char('\n')));
}

void CLampStrip::clear() {
    display(0, QString(), false);
}

QString CLampStrip::stateText() const {
    return status_->toolTip().section(QLatin1Char('\n'), 0, 0);
}

QString CLampStrip::reasons() const {
    return status_->toolTip().section(QLatin1Char('\n'), 1);
}

}  // namespace zelmora::gui
