#pragma once
// The method editor: one modal sheet over a CMethodSheet with a page per
// part of the method — "Информация", "Сбор данных", "Фильтрация",
// "Авторазметка", "Расчёт", "Отчёт", "Доп. расчёт", "Группы".
//
// The pages edit the sheet's method in place; leaving a page takes its
// values, and a page with a value out of range is not left. The sheet ends
// with MethodSheetResult: Ok (saved with OK), Cancelled (nothing saved), or
// SavedAs (closed in any way after "Записать как" saved the method under a
// new name). Saving follows the access level: "Начинающий" may not save
// (OK and "Записать как" are disabled), "Опытный" is asked, and "no" ends
// the sheet as Cancel does.
//
// While it is open the sheet answers the method's own questions (the
// temperature programme, errors, the name to save under) with message
// boxes and the save dialog.

#include <QDialog>
#include <functional>
#include <vector>

#include "method/method_editing.h"
#include "method/method_prompts.h"
#include "method/method_sheet.h"

class QPushButton;
class QTabWidget;

namespace zelmora::gui {

class CMtdInfoPg;
class CMtdCapture;
class CMtdFilteringPg;
class CMtdPeeksPg;
class CMtdComponents;
class CMtdReport;
class CMtdDopCalc;
class CMtdPeekGroupPg;

class CMethodSheetDlg : public QDialog, public MethodPrompts {
    Q_OBJECT
  public:
    enum Page { kInfo, kCapture, kFiltering, kMarking, kComponents, kReport, kExtra, kGroups };

    // `accessLevel` decides the saving rule; the sheet must outlive the dialog.
    CMethodSheetDlg(CMethodSheet& sheet, int accessLevel, QWidget* parent = nullptr,
                    int page = kInfo);
    ~CMethodSheetDlg() override;

    // What the buttons do; each ends the sheet or keeps it open as its
    // rule says.
    void pressOk();
    void pressCancel();
    // "Записать как": false when the method was not saved.
    bool saveAs();
    void reject() override;

    // Takes the values of the page shown; false keeps it shown.
    bool takeCurrentPage();
    // Shows page `page`, taking the values of the page left first.
    bool showPage(int page);

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* saveAsButton() const { return saveAs_; }
    CMethodSheet& sheet() { return sheet_; }

    CMtdInfoPg* infoPage() const { return info_; }
    CMtdCapture* capturePage() const { return capture_; }
    CMtdFilteringPg* filteringPage() const { return filtering_; }
    CMtdPeeksPg* markingPage() const { return marking_; }
    CMtdComponents* componentsPage() const { return components_; }
    CMtdReport* reportPage() const { return report_; }
    CMtdDopCalc* extraPage() const { return extra_; }
    CMtdPeekGroupPg* groupsPage() const { return groups_; }

    // MethodPrompts: the sheet's own questions while it is open.
    bool takeShownPage() override { return takeCurrentPage(); }
    bool askOkCancel(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text) override;
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path& folder,
                                                     const std::string& filter,
                                                     const std::string& defaultExtension) override;

  private:
    void finish(MethodSheetResult result);
    void pageChanged(int index);
    void updateCaption();

    CMethodSheet& sheet_;
    MethodPrompts* previousPrompts_ = nullptr;
    int accessLevel_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* saveAs_ = nullptr;
    CMtdInfoPg* info_ = nullptr;
    CMtdCapture* capture_ = nullptr;
    CMtdFilteringPg* filtering_ = nullptr;
    CMtdPeeksPg* marking_ = nullptr;
    CMtdComponents* components_ = nullptr;
    CMtdReport* report_ = nullptr;
    CMtdDopCalc* extra_ = nullptr;
    CMtdPeekGroupPg* groups_ = nullptr;
    int shownPage_ = 0;
    bool switching_ = false;
};

// Shows `sheet` modally with page `page` active at the access level of the
// program's options; how it was closed.
MethodSheetResult runMethodSheet(CMethodSheet& sheet, int page, QWidget* parent);

}  // namespace zelmora::gui
