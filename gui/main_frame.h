#pragma once
// The main window: a multi-document frame (the chromatograms, reports and
// recordings are its child windows) with the program's menus in Russian.

#include <QMainWindow>

class QMdiArea;

namespace zelmora::gui {

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return mdi_; }
    // "Опции ...": the options dialog; OK takes and saves the options.
    void showOptions();

  private:
    void buildMenus();

    QMdiArea* mdi_ = nullptr;
};

}  // namespace zelmora::gui
