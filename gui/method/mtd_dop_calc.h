#pragma once
// "Доп. расчёт": the extra calculation run on a chromatogram's
// concentrations — none, the alcohols, or the concentrations corrected by
// the components' thermal-conductivity factors. Showing the page changes
// nothing: only a choice of the operator sets the kind.

#include <QWidget>

#include "method/method_records.h"

class QButtonGroup;

namespace zelmora::gui {

class CMtdDopCalc : public QWidget {
    Q_OBJECT
  public:
    explicit CMtdDopCalc(ExtraCalculation& extra, QWidget* parent = nullptr);

    bool takeValues();
    QButtonGroup* kinds() const { return kinds_; }

  private:
    ExtraCalculation& extra_;
    QButtonGroup* kinds_ = nullptr;
};

}  // namespace zelmora::gui
