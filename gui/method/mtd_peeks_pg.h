#pragma once
// "Авторазметка": the method's marking page — the eight parameters of
// automatic peak marking in three boxes ("Разметка пиков", "Разметка базовой
// линии", "Фильтрация пиков") and the button "События" for the timetable.

#include <QWidget>
#include <array>
#include <functional>

#include "method/method_records.h"

class QLabel;
class QPushButton;

namespace zelmora {
struct Signal;
}

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

    // The chromatogram whose trace "Подобрать" asks; without one (the method
    // editor) the button is hidden. The trace must outlive the page.
    void setTrace(const Signal* trace);
    QPushButton* proposeButton() const { return propose_; }
    // The proposal's reasoning, or why there is none.
    QLabel* proposalNote() const { return note_; }
    // What "Подобрать" does: fills the five boxes from the trace; false (and
    // the boxes kept) when the trace cannot be asked.
    bool proposeFromTrace();
    // Opens the timetable on the page's copy of the events; the "События"
    // dialog unless replaced (tests).
    std::function<void(std::vector<PeakEvent>&)> editEvents;

  private:
    MarkingParameters parameters_;
    std::array<NumberEdit*, kFieldCount> fields_{};
    QPushButton* events_ = nullptr;
    QPushButton* propose_ = nullptr;
    QLabel* note_ = nullptr;
    const Signal* trace_ = nullptr;
};

}  // namespace zelmora::gui
