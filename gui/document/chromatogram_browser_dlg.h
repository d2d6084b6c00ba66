#pragma once
// The dialog "Открытие хроматограммы": a folder tree, the chromatograms of
// the current folder with their date and sample, filters by method, type,
// place and point, the passport of the chosen chromatogram, and the buttons
// that open, copy, move, delete or enter the chosen files into the analyses
// database. In its one-file mode (choosing the chromatogram to copy
// concentrations from) only one file can be chosen.

#include <QDialog>
#include <filesystem>
#include <functional>
#include <vector>

#include "document/chromatogram_browser.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;

namespace zelmora::gui {

class CChromatogramBrowserDlg : public QDialog {
    Q_OBJECT
  public:
    enum Mode { Open = 0, OneFile = 1 };
    explicit CChromatogramBrowserDlg(int mode, QWidget* parent = nullptr);

    const std::filesystem::path& folder() const { return folder_; }
    void setFolder(const std::filesystem::path& folder);
    // The entries shown, after the filters.
    const std::vector<BrowserEntry>& shownEntries() const { return shown_; }
    // Selects the shown entry `index` as a click does (with "Совместный
    // выбор" also the chromatograms recorded with it).
    void selectEntry(int index);
    void activateEntry(int index);  // the double click
    // The chosen files; folders never.
    std::vector<std::filesystem::path> chosenFiles() const;
    QString previewText() const;

    QComboBox* methodFilter() const { return method_; }
    QComboBox* typeFilter() const { return type_; }
    QComboBox* placeFilter() const { return place_; }
    QComboBox* pointFilter() const { return point_; }
    QCheckBox* jointSelection() const { return joint_; }
    QCheckBox* wholeFileSystem() const { return whole_; }

    void copySelected(bool move);
    // The selected files less those open in a window, which are named in
    // `refused` for the message.
    std::vector<std::filesystem::path> filesNotOpen(std::vector<std::string>& refused) const;
    void deleteSelected();
    void addSelectedToDatabase();
    void accept() override;

    // The folder chooser of "&Копировать" and "&Перенести"; tests replace it.
    static std::function<QString(const QString& title, QWidget* parent)> chooseFolder;
    // Saves a chromatogram that is open in a window, when one with this path
    // is; unset or false when none is (the file is then read anew).
    static std::function<std::optional<bool>(const std::filesystem::path&)> saveOpenChromatogram;
    // Whether a chromatogram file is open in a window of the program: such a
    // file is not moved or deleted (the operator is told). Set by the main
    // window while the browser is open.
    static std::function<bool(const std::filesystem::path&)> isOpenChromatogram;

  private:
    void refill();
    void applyFilters();
    void updatePreview();
    void rootTree();
    std::vector<std::filesystem::path> selectedFiles() const;

    int mode_;
    std::filesystem::path folder_;
    std::vector<BrowserEntry> entries_;
    std::vector<BrowserEntry> shown_;
    bool filling_ = false;

    QFileSystemModel* folders_ = nullptr;
    QTreeView* tree_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPlainTextEdit* preview_ = nullptr;
    QLabel* path_ = nullptr;
    QComboBox* method_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* place_ = nullptr;
    QComboBox* point_ = nullptr;
    QCheckBox* joint_ = nullptr;
    QCheckBox* whole_ = nullptr;
    QPushButton* addToDb_ = nullptr;
};

using ChromatogramBrowser =
    std::function<std::vector<std::filesystem::path>(int mode, QWidget* parent)>;

// The chromatogram browser: mode 0 for "&Открыть..." (several files), mode
// 1 for "Скопировать концентрации" (one file); nothing when cancelled.
std::vector<std::filesystem::path> BrowseChromatograms(int mode, QWidget* parent = nullptr);

// Puts `browser` in place of the dialog for as long as it lives (tests).
class ScopedChromatogramBrowser {
  public:
    explicit ScopedChromatogramBrowser(ChromatogramBrowser browser);
    ~ScopedChromatogramBrowser();
    ScopedChromatogramBrowser(const ScopedChromatogramBrowser&) = delete;
    ScopedChromatogramBrowser& operator=(const ScopedChromatogramBrowser&) = delete;

  private:
    ChromatogramBrowser previous_;
};

}  // namespace zelmora::gui
