#pragma once
// The passport dialog ("&Паспорт..."): the sample, its sampling place, point
// and time, the analysis (operator, method, column, eluent and reagent or the
// gas and temperature parameters of a gas chromatograph) and the comment of
// one chromatogram. The three amounts are labelled after the calculation of
// the chromatogram's method; a sampling place or point the analyses database
// does not know is offered for adding there. OK writes into the passport
// only when every value was accepted.

#include <QDialog>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "document/passport.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zelmora {
class CZelmoraDoc;
namespace db {
class Connection;
}
}  // namespace zelmora

namespace zelmora::gui {

class NumberEdit;

class CPassportDlg : public QDialog {
    Q_OBJECT
  public:
    // `catalogue` lists the places and points; nullptr leaves the two boxes
    // for typed text only.
    CPassportDlg(CZelmoraDoc& doc, db::Connection* catalogue, QWidget* parent = nullptr);

    // The passport as the dialog has it now (after OK: as written).
    const Passport& passport() const { return passport_; }

    // For tests and the layout button.
    bool gasLayout() const { return passport_.isGas(); }
    void toggleLayout();
    QString amountLabel(int which) const;  // 0 sample, 1 standard, 2 norm; empty when hidden

    void accept() override;

    // The dialog "Комментарий"; replaced by tests.
    static std::function<bool(QString& comment, QWidget* parent)> editComment;
    // "&Метод": the method editor on the named method; true when it saved
    // the method. ". . .": the method chooser; the chosen method's name, or
    // nothing on cancel. Set by the program where its method editor and
    // chooser are; while unset the two buttons are disabled.
    static std::function<bool(const std::string& method, QWidget* parent)> editMethod;
    static std::function<std::optional<std::string>(const std::string& current, QWidget* parent)>
        chooseMethod;

    // Run-preparation mode: the passport last prepared for the method (kept
    // in `folder`) is taken when the queue is not in use, with the file path
    // "?"; OK keeps the accepted passport there for the next run.
    void setRunPreparation(const std::filesystem::path& folder, bool queueInUse);
    bool runPreparation() const { return !preparedFolder_.empty(); }

    // The two method buttons' work, for the buttons and the tests.
    void runMethodEditor();
    void runMethodChooser();

  private:
    void showValues();
    void updateLayout();
    void updateAmountLabels();
    void fillPoints();
    bool takeValues(Passport& p);

    // The calculation kind of the passport's method, for the amount labels.
    void readMethodKind(const std::string& method);

    CZelmoraDoc& doc_;
    db::Connection* catalogue_;
    std::filesystem::path preparedFolder_;
    bool methodChanged_ = false;
    Passport passport_;
    int methodKind_ = -1;
    int methodExtra_ = 0;

    QLineEdit* sample_ = nullptr;
    QLineEdit* sample2_ = nullptr;
    QLabel* amountLabels_[3] = {};
    NumberEdit* amounts_[3] = {};
    NumberEdit* samplingParts_[6] = {};
    QComboBox* place_ = nullptr;
    QComboBox* point_ = nullptr;
    QCheckBox* calibration_ = nullptr;
    NumberEdit* vial_ = nullptr;
    NumberEdit* numberInSeries_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* analysisTime_ = nullptr;
    QLineEdit* method_ = nullptr;
    NumberEdit* duration_ = nullptr;
    QLineEdit* operator_ = nullptr;
    QLineEdit* detector_ = nullptr;
    QLineEdit* column_ = nullptr;
    NumberEdit* columnNumber_ = nullptr;
    NumberEdit* grain_ = nullptr;
    NumberEdit* diameter_ = nullptr;
    NumberEdit* length_ = nullptr;
    QLabel* deadTimeLabel_ = nullptr;
    NumberEdit* deadTime_ = nullptr;
    QGroupBox* eluentBox_ = nullptr;
    QGroupBox* reagentBox_ = nullptr;
    QPlainTextEdit* eluent_ = nullptr;
    QPlainTextEdit* reagent_ = nullptr;
    QWidget* eluentNumbers_ = nullptr;
    QWidget* reagentNumbers_ = nullptr;
    NumberEdit* eluentValues_[3] = {};
    NumberEdit* reagentValues_[3] = {};
    QLabel* noise_ = nullptr;
    QLabel* drift_ = nullptr;
    QLabel* databaseKey_ = nullptr;
    QPushButton* layoutButton_ = nullptr;
    QPushButton* methodButton_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
    QString comment_;
};

// The analyses database the passport dialogs list places and points from;
// set by the application once the database is open (user-interface thread).
void setPassportCatalogue(db::Connection* catalogue);
db::Connection* passportCatalogue();

// The passport dialog in run-preparation mode on the document of a recording
// being prepared (option "CheckOpenPassport"), with the prepared passports in
// the user's data folder; true on OK.
bool editPassportForRun(CZelmoraDoc& doc, QWidget* parent);

}  // namespace zelmora::gui
