#include "gui/method/mtd_dop_calc.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zelmora::gui {

CMtdDopCalc::CMtdDopCalc(ExtraCalculation& extra, QWidget* parent)
    : QWidget(parent), extra_(extra) {
    auto* layout = new QVBoxLayout(this);
    kinds_ = new QButtonGroup(this);
    const char* captions[] = {"Нет дополнительных расчётов", "Расчёт спиртов",
                              "Поправочные коэффициенты по теплопроводности"};
    for (int k = 0; k < 3; ++k) {
        auto* b = new QRadioButton(QString::fromUtf8(captions[k]), this);
        kinds_->addButton(b, k);
        layout->addWidget(b);
    }
    layout->addStretch();
    // A kind this program does not know (a newer file) shows no choice and
    // is kept until the operator chooses one.
    if (QAbstractButton* b = kinds_->button(extra.kind))
        b->setChecked(true);
}

bool CMtdDopCalc::takeValues() {
    if (kinds_->checkedId() >= 0)
        extra_.kind = kinds_->checkedId();
    return true;
}

}  // namespace zelmora::gui
