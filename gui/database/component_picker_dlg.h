#pragma once
// The component picker "Компонент": one combo box of every component of the
// analyses database's catalogue, from which other windows choose a component
// by name (the peak table of a calibration chromatogram names its peaks so).
// A name may also be typed; the caller adds it to the catalogue.

#include <QDialog>

class QComboBox;

namespace zelmora::db {
class Connection;
}

namespace zelmora::gui {

class CComponentPickerDlg : public QDialog {
    Q_OBJECT
  public:
    CComponentPickerDlg(db::Connection& db, QWidget* parent = nullptr);
    void setCurrent(const QString& name);
    // The chosen or typed name, trimmed.
    QString chosen() const;
    QComboBox* combo() const { return combo_; }

  private:
    QComboBox* combo_ = nullptr;
};

}  // namespace zelmora::gui
