#include "gui/method/add_event_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/number_edit.h"
#include "processing/peak_detector.h"

namespace zelmora::gui {
namespace {

constexpr double kLimit = 1e10;

// The timetable editor's list, in kind order.
constexpr const char* kKindNames[] = {"Запретить разметку пиков",
                                      "Разрешить разметку пиков",
                                      "Объединить пики",
                                      "Закончить объединение пиков",
                                      "Минимальная ширина",
                                      "Макс. расстояние неразделённых",
                                      "Ширина",
                                      "Минимальная высота",
                                      "Макс. площадь наездника",
                                      "Минимальная площадь",
                                      "Увеличение ширины вдвое"};

constexpr const char* kValueLabels[] = {"Максимальная ширина",
                                        "Макс.расст.между пиками с общ.баз.линией",
                                        "Ширина",
                                        "Минимальная высота",
                                        "Макс. площадь наездника",
                                        "Минимальная площадь",
                                        "Увеличение ширины вдвое"};

bool carriesValue(int kind) {
    return kind >= kSetMaxWidth && kind <= kSetWidthDoublingTime;
}

}  // namespace

QString peakEventValueLabel(int kind) {
    if (carriesValue(kind))
        return QString::fromUtf8(kValueLabels[kind - kSetMaxWidth]);
    return QStringLiteral("Дополнительный параметр");
}

CAddEventDlg::CAddEventDlg(Mode mode, QWidget* parent) : QDialog(parent), mode_(mode) {
    setWindowTitle(QStringLiteral("Добавить событие"));
    auto* layout = new QVBoxLayout(this);
    choices_ = new QListWidget(this);
    if (mode == Mode::Timetable) {
        for (const char* name : kKindNames)
            choices_->addItem(QString::fromUtf8(name));
    } else {
        // The zones are opened at the start of the interval and closed at its
        // end; a parameter is set at the start and set back at the end.
        choices_->addItem(QString::fromUtf8(kKindNames[kForbidMarking]));
        choices_->addItem(QString::fromUtf8(kKindNames[kMergeBegin]));
        for (int kind = kSetMaxWidth; kind <= kSetWidthDoublingTime; ++kind)
            choices_->addItem(QString::fromUtf8(kKindNames[kind]));
    }
    layout->addWidget(choices_);

    auto* fields = new QGridLayout;
    int row = 0;
    fromEdit_ = new NumberEdit(-kLimit, kLimit, this);
    fields->addWidget(new QLabel(QStringLiteral("Начать с"), this), row, 0);
    fields->addWidget(fromEdit_, row, 1);
    fields->addWidget(new QLabel(QStringLiteral("мин"), this), row++, 2);
    if (mode == Mode::Interval) {
        toEdit_ = new NumberEdit(-kLimit, kLimit, this);
        fields->addWidget(new QLabel(QStringLiteral("Закончить в"), this), row, 0);
        fields->addWidget(toEdit_, row, 1);
        fields->addWidget(new QLabel(QStringLiteral("мин"), this), row++, 2);
    }
    valueLabel_ = new QLabel(this);
    valueEdit_ = new NumberEdit(0, kLimit, this);
    fields->addWidget(valueLabel_, row, 0);
    fields->addWidget(valueEdit_, row, 1);
    layout->addLayout(fields);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (takeValues())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(choices_, &QListWidget::currentRowChanged, this, [this] { updateValueField(); });

    setFrom(0);
    if (toEdit_ != nullptr)
        setTo(0);
    setValue(0);
    setChoice(0);
    updateValueField();
}

int CAddEventDlg::choice() const {
    return choices_->currentRow();
}

void CAddEventDlg::setChoice(int row) {
    choices_->setCurrentRow(row);
}

int CAddEventDlg::kindOf(int row) const {
    if (mode_ == Mode::Timetable)
        return row;
    if (row == 0)
        return kForbidMarking;
    if (row == 1)
        return kMergeBegin;
    return row + 2;
}

void CAddEventDlg::setFrom(double t) {
    fromEdit_->setValue(t);
}

void CAddEventDlg::setTo(double t) {
    if (toEdit_ != nullptr)
        toEdit_->setValue(t);
}

void CAddEventDlg::setValue(double v) {
    valueEdit_->setValue(v);
}

void CAddEventDlg::updateValueField() {
    const int kind = kindOf(choice());
    const bool on = carriesValue(kind);
    valueLabel_->setText(peakEventValueLabel(kind));
    valueLabel_->setEnabled(on);
    valueEdit_->setEnabled(on);
    // Every parameter but the common-baseline distance is a size that cannot
    // be negative.
    const double lower = kind == kSetMaxCommonBaselineDistance ? -kLimit : 0.0;
    valueEdit_->setRange(lower, kLimit);
}

bool CAddEventDlg::takeValues() {
    if (choice() < 0)
        return false;
    const std::optional<double> from = fromEdit_->take();
    if (!from)
        return false;
    std::optional<double> to = *from;
    if (toEdit_ != nullptr) {
        to = toEdit_->take();
        if (!to)
            return false;
    }
    std::optional<double> value = 0.0;
    if (carriesValue(kindOf(choice()))) {
        value = valueEdit_->take();
        if (!value)
            return false;
    }
    from_ = *from;
    to_ = *to;
    value_ = *value;
    return true;
}

PeakEvent CAddEventDlg::event() const {
    const int kind = kindOf(choice());
    PeakEvent e;
    e.kind = kind;
    e.time = from_;
    e.value = carriesValue(kind) ? value_ : 0.0;
    e.flag = carriesValue(kind) ? 1 : 0;
    return e;
}

}  // namespace zelmora::gui
