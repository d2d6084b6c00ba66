#pragma once
// "Выбор метода": the method files of the methods folder, with the
// description of the one selected and the instrument settings it carries;
// "Удалить метод" moves a method file into the desktop's trash. Opened for
// a run on a channel it also asks how many times to run ("Повторений:")
// and whether the instrument settings stored in the method are loaded into
// the instrument ("Использовать установки прибора из метода").
//
// Selecting an entry only reads the file: a damaged method is described as
// damaged, without a message box.

#include <QDialog>
#include <filesystem>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace zelmora::gui {

class CMethodChooserDlg : public QDialog {
    Q_OBJECT
  public:
    enum class Purpose { Open, Run };

    CMethodChooserDlg(const std::filesystem::path& folder, const std::string& current,
                      int accessLevel, Purpose purpose, QWidget* parent = nullptr);

    // The name typed or selected.
    std::string name() const;
    int repetitions() const;
    bool useInstrumentSettings() const;

    // Selects the entry of `name` (and describes it); false when there is none.
    bool selectMethod(const QString& name);
    // The typed name taken: the matching entry selected, or the text cleared.
    void nameTyped();
    // "Удалить метод" on the selected entry; true when the file went to the trash.
    bool deleteSelected();
    void accept() override;

    QListWidget* list() const { return list_; }
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* description() const { return description_; }
    QListWidget* instruments() const { return instruments_; }
    QPushButton* deleteButton() const { return delete_; }
    QSpinBox* repetitionsBox() const { return repetitions_; }
    QCheckBox* instrumentSettingsBox() const { return useSettings_; }

  private:
    void describe(const QString& name);

    std::filesystem::path folder_;
    int accessLevel_;
    QListWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* description_ = nullptr;
    QListWidget* instruments_ = nullptr;
    QPushButton* delete_ = nullptr;
    QSpinBox* repetitions_ = nullptr;
    QCheckBox* useSettings_ = nullptr;
};

// The chooser over the methods folder ("MethodPath") at the options' access
// level, preset with `current`; the chosen method's name, nothing on cancel.
std::optional<std::string> chooseMethod(QWidget* parent, const std::string& current);

// What a channel needs to start a method: the chooser's run form.
struct MethodRunChoice {
    std::string name;
    int repetitions = 1;  // "Повторений:", 1 to 100
    bool useInstrumentSettings = true;  // "Использовать установки прибора из метода"
};
std::optional<MethodRunChoice> chooseMethodForRun(QWidget* parent, const std::string& current);

}  // namespace zelmora::gui
