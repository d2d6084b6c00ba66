#pragma once
// "Отчёт": what the chromatogram report of the method prints — its
// sections, the chart size, the peak labels, the groups and calibration
// sections (with the components whose calibration is printed), whether the
// report is made, printed and exported by itself, and the page orientation.

#include <QWidget>
#include <array>

#include "method/method_records.h"

class QButtonGroup;
class QCheckBox;
class QListWidget;

namespace zelmora::gui {

class CMtdReport : public QWidget {
    Q_OBJECT
  public:
    CMtdReport(ReportSettings& report, const CalculationSettings& calculation,
               QWidget* parent = nullptr);

    // The list of calibration components follows the method's components
    // each time the page is shown.
    void activated();
    bool takeValues();

    QCheckBox* section(int i) const { return sections_[i]; }
    QButtonGroup* chartSizes() const { return chartSizes_; }
    QCheckBox* labelNumber() const { return labelNumber_; }
    QCheckBox* labelName() const { return labelName_; }
    QCheckBox* labelTime() const { return labelTime_; }
    QCheckBox* groups() const { return groups_; }
    QCheckBox* calibration() const { return calibration_; }
    QListWidget* calibrationComponents() const { return components_; }
    QCheckBox* autoGenerate() const { return autoGenerate_; }
    QCheckBox* autoPrint() const { return autoPrint_; }
    QCheckBox* autoExport() const { return autoExport_; }
    QButtonGroup* orientations() const { return orientations_; }

  private:
    ReportSettings& report_;
    const CalculationSettings& calculation_;
    std::array<QCheckBox*, kReportSections> sections_{};
    QButtonGroup* chartSizes_ = nullptr;
    QCheckBox* labelNumber_ = nullptr;
    QCheckBox* labelName_ = nullptr;
    QCheckBox* labelTime_ = nullptr;
    QCheckBox* groups_ = nullptr;
    QCheckBox* calibration_ = nullptr;
    QListWidget* components_ = nullptr;
    QCheckBox* autoGenerate_ = nullptr;
    QCheckBox* autoPrint_ = nullptr;
    QCheckBox* autoExport_ = nullptr;
    QButtonGroup* orientations_ = nullptr;
};

}  // namespace zelmora::gui
