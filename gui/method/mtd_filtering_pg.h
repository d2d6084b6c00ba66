#pragma once
// "Фильтрация": the method's filter page — how the trace is smoothed
// ("Способ фильтрации"), the filter window in seconds and, for spike removal
// only, the threshold. Spike removal ("Выбросы") is not offered for new
// choices; its button shows only for settings that already carry it.

#include <QWidget>

#include "method/method_records.h"

class QButtonGroup;
class QLabel;

namespace zelmora::gui {

class NumberEdit;

class CMtdFilteringPg : public QWidget {
    Q_OBJECT
  public:
    explicit CMtdFilteringPg(const FilterSettings& settings, QWidget* parent = nullptr);

    // Checks the numbers (the threshold only with "Выбросы"); false keeps the
    // page open with the range message.
    bool takeValues();
    const FilterSettings& settings() const { return settings_; }

    QButtonGroup* kinds() const { return kinds_; }
    NumberEdit* window() const { return window_; }
    NumberEdit* threshold() const { return threshold_; }

  private:
    void updateEnabling();

    FilterSettings settings_;
    QButtonGroup* kinds_ = nullptr;
    NumberEdit* window_ = nullptr;
    NumberEdit* threshold_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
};

}  // namespace zelmora::gui
