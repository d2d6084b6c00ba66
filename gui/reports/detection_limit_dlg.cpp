#include "gui/reports/detection_limit_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/number_edit.h"

namespace zelmora::gui {

CDetectionLimitDlg::CDetectionLimitDlg(const ProgramOptions& options, QWidget* parent)
    : QDialog(parent), options_(options) {
    setWindowTitle(QStringLiteral("Предел детектирования"));
    auto number = [this](double lo, double hi, double v) {
        auto* box = new NumberEdit(lo, hi, this);
        box->setValue(v);
        return box;
    };
    c0_ = number(0, 1e9, options.c0);
    useC0_ = new QCheckBox(QStringLiteral("Брать концентрацию из хроматограммы"), this);
    useC0_->setChecked(options.useC0);
    connect(useC0_, &QCheckBox::toggled, c0_, [this](bool on) { c0_->setEnabled(!on); });
    c0_->setEnabled(!options.useC0);
    v_ = number(0, 1e9, options.v);
    qgn_ = number(0, 1e6, options.qgn);
    detType_ = new QComboBox(this);
    detType_->addItems({QStringLiteral("г/сек"), QStringLiteral("г/мл")});
    detType_->setCurrentIndex(options.detType == 1 ? 1 : 0);
    detType2_ = new QComboBox(this);
    detType2_->addItems({QStringLiteral("ПИД, ДТП, ЭЗД"), QStringLiteral("ПФД и ТИД (по фосфору)"),
                         QStringLiteral("ПФД (по сере)"), QStringLiteral("ТИД (по азоту)"),
                         QStringLiteral("ПИД, ДТП (по пропану)")});
    detType2_->setCurrentIndex(std::clamp(options.detType2, 0, 4));
    pDoza_ = number(0, 1e5, options.pDoza);
    tKrana_ = number(-273, 1000, options.tKrana);
    kk_ = number(0, 1e6, options.kk);
    useKK_ = new QCheckBox(QStringLiteral("Учитывать коэффициент деления потока"), this);
    useKK_->setChecked(options.useKK != 0);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Детектор:"), detType2_);
    form->addRow(QStringLiteral("Концентрация контрольного вещества:"), c0_);
    form->addRow(QString(), useC0_);
    form->addRow(QStringLiteral("Объём пробы:"), v_);
    form->addRow(QStringLiteral("Расход газа-носителя, мл/мин:"), qgn_);
    form->addRow(QStringLiteral("Единица предела:"), detType_);
    form->addRow(QStringLiteral("Давление в дозе, мм рт. ст.:"), pDoza_);
    form->addRow(QStringLiteral("Температура крана, °C:"), tKrana_);
    form->addRow(QStringLiteral("Коэффициент деления потока:"), kk_);
    form->addRow(QString(), useKK_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDetectionLimitDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CDetectionLimitDlg::accept() {
    ProgramOptions o = options_;
    const std::optional<double> c0 = c0_->take(), v = v_->take(), qgn = qgn_->take(),
                                pDoza = pDoza_->take(), tKrana = tKrana_->take(), kk = kk_->take();
    if (!c0 || !v || !qgn || !pDoza || !tKrana || !kk)
        return;
    o.c0 = *c0;
    o.v = *v;
    o.qgn = *qgn;
    o.pDoza = *pDoza;
    o.tKrana = *tKrana;
    o.kk = *kk;
    o.detType = detType_->currentIndex();
    o.detType2 = detType2_->currentIndex();
    o.useC0 = useC0_->isChecked();
    o.useKK = useKK_->isChecked() ? 1 : 0;
    options_ = o;
    QDialog::accept();
}

bool CDetectionLimitDlg::edit(QWidget* parent) {
    CDetectionLimitDlg dlg(programOptions(), parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const ProgramOptions chosen = dlg.options();
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.c0 = chosen.c0;
        o.v = chosen.v;
        o.qgn = chosen.qgn;
        o.pDoza = chosen.pDoza;
        o.tKrana = chosen.tKrana;
        o.kk = chosen.kk;
        o.detType = chosen.detType;
        o.detType2 = chosen.detType2;
        o.useC0 = chosen.useC0;
        o.useKK = chosen.useKK;
    });
    return true;
}

}  // namespace zelmora::gui
