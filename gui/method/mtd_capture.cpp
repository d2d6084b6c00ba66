#include "gui/method/mtd_capture.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/message_box.h"
#include "gui/number_edit.h"

namespace zelmora::gui {
namespace {

constexpr double kDisplayLimit = 1e10;  // mV either way

struct Editors {
    KalderSettingsEditor kalder;
    EhdSettingsEditor ehd;
};

Editors& editors() {
    static Editors e;
    return e;
}

}  // namespace

void setMethodInstrumentEditors(KalderSettingsEditor kalder, EhdSettingsEditor ehd) {
    editors() = {std::move(kalder), std::move(ehd)};
}

CMtdCapture::CMtdCapture(Method& method, QWidget* parent) : QWidget(parent), method_(method) {
    const CaptureSettings& c = method.capture;
    auto* layout = new QVBoxLayout(this);

    auto* numbers = new QGridLayout;
    auto* timeLabel = new QLabel(QStringLiteral("В&ремя анализа:"), this);
    analysisTime_ = new NumberEdit(0, 3000, this);
    analysisTime_->setValue(c.analysisTime);
    timeLabel->setBuddy(analysisTime_);
    numbers->addWidget(timeLabel, 0, 0);
    numbers->addWidget(analysisTime_, 0, 1);
    numbers->addWidget(new QLabel(QStringLiteral("мин"), this), 0, 2);
    auto* rateLabel = new QLabel(QStringLiteral("&Выборка:"), this);
    samplingRate_ = new NumberEdit(0, 200, this);
    samplingRate_->setValue(c.samplingRate);
    rateLabel->setBuddy(samplingRate_);
    numbers->addWidget(rateLabel, 1, 0);
    numbers->addWidget(samplingRate_, 1, 1);
    numbers->addWidget(new QLabel(QStringLiteral("тчк/сек"), this), 1, 2);
    numbers->setColumnStretch(3, 1);

    auto* passportBox = new QGroupBox(QStringLiteral("Вид паспорта"), this);
    auto* passportLayout = new QVBoxLayout(passportBox);
    passportKinds_ = new QButtonGroup(this);
    const char* kinds[] = {"Жидкостный", "Газовый"};
    for (int k = 0; k < 2; ++k) {
        auto* b = new QRadioButton(QString::fromUtf8(kinds[k]), passportBox);
        passportKinds_->addButton(b, k);
        passportLayout->addWidget(b);
    }
    if (QAbstractButton* b = passportKinds_->button(c.passportKind))
        b->setChecked(true);
    numbers->addWidget(passportBox, 0, 4, 3, 1);
    layout->addLayout(numbers);

    saveToFolder_ = new QCheckBox(QStringLiteral("Сохранять хроматограммы в каталог"), this);
    saveToFolder_->setChecked(c.saveToFolder);
    folder_ = new QLineEdit(QString::fromStdString(c.folder), this);
    layout->addWidget(saveToFolder_);
    layout->addWidget(folder_);

    auto* bounds = new QHBoxLayout;
    fixedBounds_ = new QCheckBox(QStringLiteral("Фикс. границы"), this);
    fixedBounds_->setChecked(c.fixedBounds);
    maximumLabel_ = new QLabel(QStringLiteral("Максимум"), this);
    maximum_ = new NumberEdit(-kDisplayLimit, kDisplayLimit, this);
    maximum_->setValue(c.displayMaximum);
    minimumLabel_ = new QLabel(QStringLiteral("Минимум"), this);
    minimum_ = new NumberEdit(-kDisplayLimit, kDisplayLimit, this);
    minimum_->setValue(c.displayMinimum);
    bounds->addWidget(fixedBounds_);
    bounds->addWidget(maximumLabel_);
    bounds->addWidget(maximum_);
    bounds->addWidget(minimumLabel_);
    bounds->addWidget(minimum_);
    bounds->addStretch();
    layout->addLayout(bounds);

    auto* instruments =
        new QGroupBox(QStringLiteral("Установки приборов, сохраненные в методе"), this);
    auto* grid = new QGridLayout(instruments);
    const char* rowNames[kRowCount] = {"Zelmora Kalder", "Zelmora Sovant", "ЭХД"};
    for (int r = 0; r < kRowCount; ++r) {
        InstrumentRow& row = rows_[r];
        row.marker = new QLabel(instruments);
        row.marker->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(16, 16));
        grid->addWidget(row.marker, r, 0);
        grid->addWidget(new QLabel(QString::fromUtf8(rowNames[r]), instruments), r, 1);
        row.edit = new QPushButton(QStringLiteral("Редактировать"), instruments);
        row.create = new QPushButton(QStringLiteral("Создать новые"), instruments);
        row.remove = new QPushButton(QStringLiteral("Удалить"), instruments);
        grid->addWidget(row.edit, r, 2);
        grid->addWidget(row.create, r, 3);
        grid->addWidget(row.remove, r, 4);
        const Row which = static_cast<Row>(r);
        connect(row.edit, &QPushButton::clicked, this, [this, which] { editSettings(which); });
        connect(row.create, &QPushButton::clicked, this, [this, which] { createSettings(which); });
        connect(row.remove, &QPushButton::clicked, this, [this, which] { deleteSettings(which); });
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(instruments);
    layout->addStretch();

    connect(saveToFolder_, &QCheckBox::toggled, this, &CMtdCapture::updateEnabling);
    connect(fixedBounds_, &QCheckBox::toggled, this, &CMtdCapture::updateEnabling);
    connect(analysisTime_, &QLineEdit::textEdited, this, &CMtdCapture::takeTimeAndRate);
    connect(samplingRate_, &QLineEdit::textEdited, this, &CMtdCapture::takeTimeAndRate);
    updateEnabling();
    updateInstrumentRows();
}

void CMtdCapture::updateEnabling() {
    folder_->setEnabled(saveToFolder_->isChecked());
    const bool fixed = fixedBounds_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(maximum_), static_cast<QWidget*>(minimum_),
                       static_cast<QWidget*>(maximumLabel_), static_cast<QWidget*>(minimumLabel_)})
        w->setEnabled(fixed);
}

void CMtdCapture::updateInstrumentRows() {
    const bool kalder = method_.kalder.has_value();
    const bool ehd = method_.ehd.has_value();
    for (int r = 0; r < kRowCount; ++r) {
        const bool held = r == kEhdRow ? ehd : kalder;
        const bool editable = r == kEhdRow ? bool(editors().ehd) : bool(editors().kalder);
        rows_[r].marker->setVisible(held);
        rows_[r].edit->setEnabled(held && editable);
        rows_[r].edit->setToolTip(editable ? QString()
                                           : QStringLiteral("Окно настроек прибора недоступно"));
        rows_[r].remove->setEnabled(held);
        rows_[r].create->setEnabled(!held);
    }
}

void CMtdCapture::takeTimeAndRate() {
    if (const std::optional<double> t = analysisTime_->value())
        method_.capture.analysisTime = static_cast<float>(*t);
    if (const std::optional<double> r = samplingRate_->value(); r && *r > 0)
        method_.capture.samplingRate = static_cast<float>(*r);
}

void CMtdCapture::editSettings(Row r) {
    if (r == kEhdRow) {
        if (method_.ehd && editors().ehd) {
            MethodEhdSettings copy = *method_.ehd;
            if (editors().ehd(copy, window()))
                method_.ehd = copy;
        }
    } else if (method_.kalder && editors().kalder) {
        MethodKalderSettings copy = *method_.kalder;
        if (editors().kalder(copy, window()))
            method_.kalder = copy;
    }
    updateInstrumentRows();
}

void CMtdCapture::createSettings(Row r) {
    if (r == kEhdRow) {
        MethodEhdSettings fresh;
        if (!method_.ehd && (!editors().ehd || editors().ehd(fresh, window())))
            method_.ehd = fresh;
    } else {
        MethodKalderSettings fresh;
        if (!method_.kalder && (!editors().kalder || editors().kalder(fresh, window())))
            method_.kalder = fresh;
    }
    updateInstrumentRows();
}

void CMtdCapture::deleteSettings(Row r) {
    if (r == kEhdRow)
        method_.ehd.reset();
    else
        method_.kalder.reset();
    updateInstrumentRows();
}

bool CMtdCapture::takeValues() {
    const std::optional<double> time = analysisTime_->take();
    if (!time)
        return false;
    const std::optional<double> rate = samplingRate_->take();
    if (!rate)
        return false;
    if (*rate <= 0) {
        MessageRequest m;
        m.parent = window();
        m.text = QStringLiteral("Выборка должна быть больше 0 тчк/сек.");
        showMessage(m);
        samplingRate_->setFocus();
        samplingRate_->selectAll();
        return false;
    }
    std::optional<double> maximum = method_.capture.displayMaximum;
    std::optional<double> minimum = method_.capture.displayMinimum;
    if (fixedBounds_->isChecked()) {
        if (!(maximum = maximum_->take()) || !(minimum = minimum_->take()))
            return false;
    }
    CaptureSettings& c = method_.capture;
    c.analysisTime = static_cast<float>(*time);
    c.samplingRate = static_cast<float>(*rate);
    if (passportKinds_->checkedId() >= 0)
        c.passportKind = passportKinds_->checkedId();
    c.saveToFolder = saveToFolder_->isChecked();
    c.folder = folder_->text().toStdString();
    c.fixedBounds = fixedBounds_->isChecked();
    c.displayMaximum = static_cast<float>(*maximum);
    c.displayMinimum = static_cast<float>(*minimum);
    return true;
}

}  // namespace zelmora::gui
