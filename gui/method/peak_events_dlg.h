#pragma once
// "События": the marking timetable of a method page — the peak events in the
// order they were entered (automatic marking sorts its own copy by time).
// "Добавить" appends an event from the "Добавить событие" dialog, "Удалить"
// removes the selected one, "Заменить" removes it and adds the new one at
// the end. The dialog edits a copy that OK hands back.

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "method/method_records.h"

class QListWidget;

namespace zelmora::gui {

// The timetable caption of an event kind ("Запретить разметку пиков").
QString peakEventCaption(int kind);
// The list line of an event: the caption, the value for events that carry
// one, then " с <time> мин".
QString peakEventLine(const PeakEvent& event);

class CPeakEventsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CPeakEventsDlg(std::vector<PeakEvent> events, QWidget* parent = nullptr);

    const std::vector<PeakEvent>& events() const { return events_; }
    QListWidget* list() const { return list_; }

    // Asks for the new event; the "Добавить событие" dialog unless replaced.
    std::function<std::optional<PeakEvent>()> askEvent;

    void addEvent();
    void deleteSelected();
    void replaceSelected();

  private:
    void fill();

    std::vector<PeakEvent> events_;
    QListWidget* list_ = nullptr;
};

}  // namespace zelmora::gui
