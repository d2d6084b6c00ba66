#pragma once
// "Параметры отчёта": the report page of a chromatogram's method (or of the
// program's default method for a chromatogram without one) asked before a
// report is made — which sections the report has, the size of the
// chromatogram picture and what the peak labels show, the groups and the
// calibration part with the components whose calibration is printed (the
// list is enabled only while "Калибровка" is checked), the automatic report
// options of a recording and the orientation. OK gives the edited page;
// Cancel leaves it as it was and no report is made.

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "method/method_records.h"

class QButtonGroup;
class QCheckBox;
class QListWidget;

namespace zelmora::gui {

class CReportSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    // `components`: the method's component names, listed for the
    // calibration part with the page's ticks (names the page does not know
    // yet are listed unticked).
    CReportSettingsDlg(const ReportSettings& settings, const std::vector<std::string>& components,
                       QWidget* parent = nullptr);

    ReportSettings result() const;

    QCheckBox* sectionBox(int section) const { return sections_[section]; }
    QCheckBox* calibrationBox() const { return calibration_; }
    QCheckBox* groupsBox() const { return groups_; }
    QListWidget* componentList() const { return components_; }
    QButtonGroup* chartSizeGroup() const { return chartSize_; }

  private:
    ReportSettings settings_;
    std::array<QCheckBox*, kReportSections> sections_{};
    QButtonGroup* chartSize_ = nullptr;
    QButtonGroup* orientation_ = nullptr;
    QCheckBox* labelNumber_ = nullptr;
    QCheckBox* labelName_ = nullptr;
    QCheckBox* labelTime_ = nullptr;
    QCheckBox* groups_ = nullptr;
    QCheckBox* calibration_ = nullptr;
    QListWidget* components_ = nullptr;
    QCheckBox* autoGenerate_ = nullptr;
    QCheckBox* autoPrint_ = nullptr;
    QCheckBox* autoExport_ = nullptr;
};

}  // namespace zelmora::gui
