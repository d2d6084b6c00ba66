#pragma once
// The waiting window of an armed channel ("Запуск, прибор %d (%s)"): which
// channel waits, with its detector and its method; the instrument's state, refreshed on a
// timer; "Начать запись" while the instrument is ready, otherwise "Начать
// подготовку к анализу"; "Просмотр канала" records without telling the
// instrument; "&Отмена" gives up the start. A start or cancel signal of the
// instrument presses the same buttons. Modeless, one per armed channel.

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace zelmora {
class CChannel;
}

namespace zelmora::gui {

class CWaitingWnd : public QDialog {
    Q_OBJECT
  public:
    // Placed `order` steps of 20 pixels below and right of (10, 100) from
    // the main window's corner.
    CWaitingWnd(CChannel& channel, int order, QWidget* parent);
    ~CWaitingWnd() override;

    CChannel& channel() const { return channel_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* viewButton() const { return view_; }
    QPushButton* prepareButton() const { return prepare_; }
    QPushButton* cancelButton() const { return cancel_; }
    bool showsReady() const { return ready_; }

    // One tick: the status text, the icon and the buttons by the run state.
    void refresh();

  protected:
    void reject() override;

  private:
    CChannel& channel_;
    QLabel* icon_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* view_ = nullptr;
    QPushButton* prepare_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    bool ready_ = false;
};

}  // namespace zelmora::gui
