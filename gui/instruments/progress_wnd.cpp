#include "gui/instruments/progress_wnd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelmora::gui {

CProgressWnd::CProgressWnd(QWidget* parent, const QString& caption)
    : QDialog(parent), caption_(caption) {
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    text_->setMinimumWidth(360);
    bar_ = new QProgressBar(this);
    bar_->setRange(lower_, upper_);
    bar_->setValue(lower_);
    button_ = new QPushButton(QStringLiteral(" Cancel "), this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button_);
    layout->addLayout(row);
    connect(button_, &QPushButton::clicked, this, &CProgressWnd::reject);
    setPos(lower_);
}

QString CProgressWnd::titleFor(const QString& caption, int percent) {
    return QStringLiteral("%1 [%2%]").arg(caption).arg(percent);
}

int CProgressWnd::percentOf(int pos, int lower, int upper) {
    if (upper == lower)
        return 0;
    return static_cast<int>((static_cast<long long>(pos) - lower) * 100 / (upper - lower));
}

void CProgressWnd::setCaption(const QString& caption) {
    caption_ = caption;
    setWindowTitle(titleFor(caption_, std::max(0, percent_)));
}

void CProgressWnd::setText(const QString& text) {
    text_->setText(text);
}

QString CProgressWnd::text() const {
    return text_->text();
}

void CProgressWnd::setRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    bar_->setRange(std::min(lower, upper), std::max(lower, upper));
}

void CProgressWnd::setPos(int pos) {
    bar_->setValue(std::clamp(pos, bar_->minimum(), bar_->maximum()));
    const int p = percentOf(pos, lower_, upper_);
    if (p != percent_) {
        percent_ = p;
        setWindowTitle(titleFor(caption_, p));
    }
}

void CProgressWnd::setButtonText(const QString& text) {
    button_->setText(text);
}

void CProgressWnd::reject() {
    cancelled_ = true;
    emit cancelRequested();
    QDialog::reject();
}

}  // namespace zelmora::gui
