#pragma once
// The chromatograph's windows around its parameter exchange:
// - "Инициализация PnP...": plug-and-play with its progress; the operator
//   confirms the composition found, or cancels;
// - "Загрузка": loading the parameters from the instrument, with the count
//   still to come; a cancel may start plug-and-play;
// - the parameter report: what was not yet exchanged, what failed, which
//   modules do not answer.
// The windows only read the driver's state on a timer; the exchange itself
// runs on the driver's threads.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zelmora {
class CKalderInstrument;
}

namespace zelmora::gui {

class CPlugAndPlayDlg : public QDialog {
    Q_OBJECT
  public:
    // Starts plug-and-play on the (connected) instrument.
    explicit CPlugAndPlayDlg(CKalderInstrument& device, QWidget* parent = nullptr);

    QPushButton* confirmButton() const { return confirm_; }
    QPushButton* cancelButton() const { return cancel_; }
    QString text() const;

    void reject() override;

  private:
    void tick();

    CKalderInstrument& device_;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* confirm_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    bool confirmed_ = false;
};

// The modal plug-and-play window; 1 when the procedure ended normally.
int runPlugAndPlayDialog(CKalderInstrument& device, QWidget* parent);

// "Загрузка": waits until the identification parameters (from access level
// 4 also the extended ones) are exchanged. 1 when all arrived, 0 after a
// cancel (which, from access level 3 and the operator's Yes, starts
// plug-and-play).
int loadAllParameters(CKalderInstrument& device, int accessLevel, QWidget* parent);

class CParamReportDlg : public QDialog {
    Q_OBJECT
  public:
    CParamReportDlg(const CKalderInstrument& device, int accessLevel, QWidget* parent = nullptr);
    QPlainTextEdit* textView() const { return view_; }
    void refresh();

  private:
    const CKalderInstrument& device_;
    int accessLevel_;
    QPlainTextEdit* view_ = nullptr;
};

}  // namespace zelmora::gui
