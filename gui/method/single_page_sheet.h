#pragma once
// A property sheet that shows one method page on its own, without an apply
// button ("Фильтрация хромотограммы", "Авторазметка"): OK takes the page's
// values and closes only when every value is valid; Cancel changes nothing.

#include <QDialog>
#include <functional>

class QTabWidget;

namespace zelmora::gui {

class CSinglePageSheet : public QDialog {
    Q_OBJECT
  public:
    // `page` becomes the sheet's child; `takeValues` checks and takes them.
    CSinglePageSheet(const QString& caption, QWidget* page, const QString& tabTitle,
                     std::function<bool()> takeValues, QWidget* parent = nullptr);

    // What OK does: true (and the sheet accepted) when the page took its values.
    bool tryAccept();

  private:
    std::function<bool()> takeValues_;
};

}  // namespace zelmora::gui
