#pragma once
// "Сбор данных": how long and how fast a recording runs, the passport kind
// of its chromatograms, the folder they may be saved to, the fixed range of
// the recording display, and the instrument settings the method carries
// ("Установки приборов, сохраненные в методе": the chromatograph's and the
// electrochemical detector's, each created, edited or removed here).
//
// The sampling rate must be above 0: a recording at no points per second
// would never end a sample.

#include <QWidget>
#include <array>
#include <functional>

#include "method/method_records.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelmora::gui {

class NumberEdit;

// The dialogs that edit the instrument blocks of a method; the instrument
// settings windows register theirs. Without one, "Создать новые" stores the
// settings' defaults and "Редактировать" stays disabled.
using KalderSettingsEditor = std::function<bool(MethodKalderSettings&, QWidget* parent)>;
using EhdSettingsEditor = std::function<bool(MethodEhdSettings&, QWidget* parent)>;
void setMethodInstrumentEditors(KalderSettingsEditor kalder, EhdSettingsEditor ehd);

class CMtdCapture : public QWidget {
    Q_OBJECT
  public:
    // The rows of the instrument box: the chromatograph under its two model
    // names, then the electrochemical detector.
    enum Row { kKalderRow, kSovantRow, kEhdRow, kRowCount };

    explicit CMtdCapture(Method& method, QWidget* parent = nullptr);

    // Checks the numbers; false keeps the page open with the range message.
    bool takeValues();

    NumberEdit* analysisTime() const { return analysisTime_; }
    NumberEdit* samplingRate() const { return samplingRate_; }
    QButtonGroup* passportKinds() const { return passportKinds_; }
    QCheckBox* saveToFolder() const { return saveToFolder_; }
    QLineEdit* folder() const { return folder_; }
    QCheckBox* fixedBounds() const { return fixedBounds_; }
    NumberEdit* displayMaximum() const { return maximum_; }
    NumberEdit* displayMinimum() const { return minimum_; }
    QPushButton* editButton(Row r) const { return rows_[r].edit; }
    QPushButton* createButton(Row r) const { return rows_[r].create; }
    QPushButton* deleteButton(Row r) const { return rows_[r].remove; }
    QLabel* marker(Row r) const { return rows_[r].marker; }

    void editSettings(Row r);
    void createSettings(Row r);
    void deleteSettings(Row r);

  private:
    struct InstrumentRow {
        QLabel* marker = nullptr;
        QPushButton* edit = nullptr;
        QPushButton* create = nullptr;
        QPushButton* remove = nullptr;
    };
    void updateEnabling();
    void updateInstrumentRows();
    // The analysis time and the rate as soon as they change, when valid.
    void takeTimeAndRate();

    Method& method_;
    NumberEdit* analysisTime_ = nullptr;
    NumberEdit* samplingRate_ = nullptr;
    QButtonGroup* passportKinds_ = nullptr;
    QCheckBox* saveToFolder_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QCheckBox* fixedBounds_ = nullptr;
    NumberEdit* maximum_ = nullptr;
    NumberEdit* minimum_ = nullptr;
    QLabel* maximumLabel_ = nullptr;
    QLabel* minimumLabel_ = nullptr;
    std::array<InstrumentRow, kRowCount> rows_{};
};

}  // namespace zelmora::gui
