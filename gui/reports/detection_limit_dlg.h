#pragma once
// The detection-limit parameters ("Предел детектирования"): the control
// substance's concentration "C0" (or the chromatogram's own, "UseC0"), the
// injected volume "V", the carrier flow "Qgn", the unit "DetType" (g/s or
// g/ml), the detector kind "DetType2", the dose's pressure "PDoza" and the
// valve's temperature "TKrana" (propane dosing), and the split ratio "KK"
// with its flag "UseKK". OK puts them into the program's options.

#include <QDialog>

#include "app/program_settings.h"

class QCheckBox;
class QComboBox;

namespace zelmora::gui {

class NumberEdit;

class CDetectionLimitDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CDetectionLimitDlg(const ProgramOptions& options, QWidget* parent = nullptr);

    // The options with the dialog's values; only after accept().
    const ProgramOptions& options() const { return options_; }

    NumberEdit* c0Box() const { return c0_; }
    NumberEdit* volumeBox() const { return v_; }
    QComboBox* detectorBox() const { return detType2_; }
    QComboBox* unitBox() const { return detType_; }
    QCheckBox* useC0Box() const { return useC0_; }

    void accept() override;

    // Runs the dialog over the program's options and stores them on OK.
    static bool edit(QWidget* parent);

  private:
    ProgramOptions options_;
    NumberEdit* c0_ = nullptr;
    NumberEdit* v_ = nullptr;
    NumberEdit* qgn_ = nullptr;
    NumberEdit* pDoza_ = nullptr;
    NumberEdit* tKrana_ = nullptr;
    NumberEdit* kk_ = nullptr;
    QComboBox* detType_ = nullptr;
    QComboBox* detType2_ = nullptr;
    QCheckBox* useC0_ = nullptr;
    QCheckBox* useKK_ = nullptr;
};

}  // namespace zelmora::gui
