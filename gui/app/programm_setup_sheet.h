#pragma once
// "Опции": the five-page options dialog. Each page copies its fields from
// the options when the sheet opens; OK writes them back (and saves them), so
// that Cancel leaves everything as it was.

#include <QDialog>
#include <functional>
#include <optional>

#include "app/program_settings.h"

class QCheckBox;
class QButtonGroup;
class QSpinBox;
class QSlider;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QBoxLayout;

namespace zelmora::gui {

class CProgrammSetupSheet : public QDialog {
    Q_OBJECT
  public:
    // Questions and messages go through these, so that tests can answer them.
    struct Hooks {
        std::function<bool()> anyInstrumentConnected = [] { return false; };
        // Yes/no question with an exclamation icon; true for "yes".
        std::function<bool(const QString&)> askYesNo;
        std::function<void(const QString&)> warn;
        // Runs the pass-word dialog for a level; true when it was accepted.
        std::function<bool(int level)> askPassword;
        std::function<QString(const QString& title, const QString& start)> chooseFolder;
        // The transformer-oil gas list editor, opened when "Анализ
        // трансформаторного масла" is ticked: the edited list, or nothing.
        std::function<std::optional<std::array<OilGas, 7>>(const std::array<OilGas, 7>&)>
            editOilGases;
    };

    CProgrammSetupSheet(const ProgramOptions& options, Hooks hooks, QWidget* parent = nullptr);

    // The options as the pages show them now.
    ProgramOptions result() const;
    // Runs the OK rules (the auto-close question, the copies folder check).
    void applyOkRules();

    QTabWidget* pages() const { return tabs_; }
    QCheckBox* viewGroup() const { return viewGroup_; }
    QCheckBox* noViewGroupCalib() const { return noViewGroupCalib_; }
    QCheckBox* checkViewNoMethod() const { return checkViewNoMethod_; }
    QCheckBox* autoGenerateMethod() const { return autoGenerateMethod_; }
    QCheckBox* autoSave() const { return autoSave_; }
    QCheckBox* autoClose() const { return autoClose_; }
    QCheckBox* checkSaveCopy() const { return checkSaveCopy_; }
    QLineEdit* copiesFolder() const { return copiesFolder_; }
    QPushButton* copiesBrowse() const { return copiesBrowse_; }
    QSlider* processorSlider() const { return processor_; }
    QCheckBox* transformOil() const { return transformOil_; }
    QButtonGroup* accessLevels() const { return accessLevel_; }
    // Chooses an access level as a click on its radio button would.
    void chooseAccessLevel(int level);

  private:
    QWidget* buildViewPage();
    QWidget* buildAlarmPage();
    QWidget* buildAutoPage();
    QWidget* buildPathPage();
    QWidget* buildOtherPage();
    QCheckBox* check(QWidget* parent, const char* text, bool value);
    QButtonGroup* radios(QWidget* page, QBoxLayout* layout, const QString& title,
                         const QStringList& labels, int value);
    QLineEdit* folderRow(QWidget* page, QBoxLayout* layout, const QString& label,
                         const QString& chooserTitle, const std::string& value,
                         QPushButton** browse);
    void updateEnabling();

    ProgramOptions options_;
    Hooks hooks_;
    int currentLevel_;
    QTabWidget* tabs_ = nullptr;
    // View
    QCheckBox *nameNumber_, *nameName_, *nameTime_, *peekWindow_, *viewGroup_, *noViewGroupCalib_;
    QButtonGroup *direction_, *floatType_, *markPeek_, *normSec_;
    QSpinBox *digitsC_, *digitsH_, *digitsS_;
    // Alarm
    QCheckBox *confirmDisconnect_, *disconect2_;
    // Auto
    QCheckBox *autoSave_, *enableKGK_, *autoClose_, *checkOpenPassport_, *checkViewNoMethod_,
        *autoGenerateMethod_, *checkViewReport_, *checkViewAutoMark_;
    // Path
    QCheckBox *checkSaveDb_, *checkSaveCopy_;
    QLineEdit *copiesFolder_, *dbFolder_, *methodFolder_, *openFolder_;
    QPushButton* copiesBrowse_;
    QButtonGroup* saveFolderType_;
    // Other
    QButtonGroup *noiseCalcType_, *drift_, *accessLevel_;
    QSlider* processor_;
    QCheckBox *transformOil_, *useSound_;
};

}  // namespace zelmora::gui
