#pragma once
// The components dialog "Компоненты": the catalogue of components with the
// unit of each and its default critical value (copied when a component is
// put under control at a point). Changes are written when another component
// is chosen or the dialog closes, only when something changed. Deleting a
// component takes its critical values with it; results keep its name.

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace zelmora::db {
class Connection;
}

namespace zelmora::gui {

class CComponentsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CComponentsDlg(db::Connection& db, QWidget* parent = nullptr);

    bool addComponent();
    bool deleteComponent();
    // Writes the unit and critical value of the shown component when changed.
    bool storeShown();

    QComboBox* component() const { return component_; }
    QComboBox* unit() const { return unit_; }
    QLineEdit* critical() const { return critical_; }

    void accept() override;
    void reject() override;

  private:
    void refill(const QString& select);
    void showComponent(int index);

    db::Connection& db_;
    QComboBox* component_ = nullptr;
    QComboBox* unit_ = nullptr;
    QLineEdit* critical_ = nullptr;
    int shownKey_ = 0;  // the component whose values the boxes show
};

}  // namespace zelmora::gui
