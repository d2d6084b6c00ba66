#pragma once
// "Добавить событие": one entry of the marking timetable. In the timetable
// editor it asks for the kind of event, its time ("Начать с") and, for the
// kinds that set a marking parameter, the value. Over an interval picked in
// the chromatogram it asks for the interval ("Начать с", "Закончить в") and
// what happens in it: a forbidden zone, a merge zone, or one marking
// parameter changed for the interval.

#include <QDialog>
#include <optional>

#include "method/method_records.h"

class QLabel;
class QListWidget;

namespace zelmora::gui {

class NumberEdit;

class CAddEventDlg : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { Timetable, Interval };

    explicit CAddEventDlg(Mode mode, QWidget* parent = nullptr);

    // The row chosen: the event kind 0 to 10 in the timetable mode; over an
    // interval 0 forbidden zone, 1 merge zone, 2 to 8 the parameters of the
    // kinds 4 to 10.
    int choice() const;
    void setChoice(int row);
    // The event kind of a row.
    int kindOf(int row) const;

    void setFrom(double t);
    void setTo(double t);
    void setValue(double v);

    // Checks and takes the fields; false keeps the dialog open.
    bool takeValues();
    double from() const { return from_; }
    double to() const { return to_; }
    double value() const { return value_; }
    // The timetable entry of the taken fields (timetable mode).
    PeakEvent event() const;

    QListWidget* choices() const { return choices_; }
    NumberEdit* fromEdit() const { return fromEdit_; }
    NumberEdit* toEdit() const { return toEdit_; }
    NumberEdit* valueEdit() const { return valueEdit_; }
    QLabel* valueLabel() const { return valueLabel_; }

  private:
    void updateValueField();

    Mode mode_;
    QListWidget* choices_ = nullptr;
    NumberEdit* fromEdit_ = nullptr;
    NumberEdit* toEdit_ = nullptr;
    NumberEdit* valueEdit_ = nullptr;
    QLabel* valueLabel_ = nullptr;
    double from_ = 0, to_ = 0, value_ = 0;
};

// The label of the value field for an event kind: the parameter's name for
// kinds 4 to 10, "Дополнительный параметр" otherwise.
QString peakEventValueLabel(int kind);

}  // namespace zelmora::gui
