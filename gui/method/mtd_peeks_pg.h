#pragma once
// "Авторазметка": the method's marking page — the eight parameters of
// automatic peak marking in three boxes ("Разметка пиков", "Разметка базовой
// линии", "Фильтрация пиков") and the button "События" for the timetable.

#include <QWidget>
#include <array>
#include <functional>

#include "method/method_records.h"

class QPushButton;

namespace zelmora::gui {

class NumberEdit;

class CMtdPeeksPg : public QWidget {
    Q_OBJECT
  public:
    // The parameters in the order of the page's boxes.
    enum Field {
        kWidth,
        kWidthDoublingTime,
        kMaxCommonBaselineDistance,
        kMaxRiderArea,
        kMarkingStart,
        kMinHeight,
        kMinArea,
        kMaxWidth,
        kFieldCount
    };

    explicit CMtdPeeksPg(const MarkingParameters& parameters, QWidget* parent = nullptr);

    // Checks every number against its range; false keeps the page open.
    bool takeValues();
    const MarkingParameters& parameters() const { return parameters_; }

    NumberEdit* field(Field f) const { return fields_[f]; }
    QPushButton* eventsButton() const { return events_; }
    // Opens the timetable on the page's copy of the events; the "События"
    // dialog unless replaced (tests).
    std::function<void(std::vector<PeakEvent>&)> editEvents;

  private:
    MarkingParameters parameters_;
    std::array<NumberEdit*, kFieldCount> fields_{};
    QPushButton* events_ = nullptr;
};

}  // namespace zelmora::gui
