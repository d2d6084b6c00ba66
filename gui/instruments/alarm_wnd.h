#pragma once
// The window "Выявлены ошибки в работе с приборами": while any instrument
// of the device list has a fault that stopped it, the window shows one
// line per such instrument ("Прибор %d (%s):" and its fault) and the alarm
// sound plays in a loop. The operator may dismiss it; it comes back 20 s
// later while the fault stands, and hides by itself (sound off) once no
// instrument has a fault. A 3000 ms timer looks at the devices; the
// faults are read from each device's alarm collector.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;
class QTimer;

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::gui {

class CAlarmWnd : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kCheckMs = 3000;
    static constexpr std::int64_t kReshowMs = 20000;

    // sound(true) starts the alarm sound in a loop, sound(false) stops it;
    // nowMs is a monotonic clock in milliseconds (tests fix it).
    CAlarmWnd(QWidget* owner, std::function<void(bool)> sound,
              std::function<std::int64_t()> nowMs = {});

    void setDevices(CDeviceManager* devices) { devices_ = devices; }
    // One tick of the timer.
    void check();
    // The operator's "Пропустить": hide, silence, remember the time.
    void dismiss();
    QString alarmText() const;
    bool soundOn() const { return soundOn_; }

  protected:
    void reject() override { dismiss(); }

  private:
    void setSound(bool on);
    std::int64_t now() const;

    CDeviceManager* devices_ = nullptr;
    std::function<void(bool)> sound_;
    std::function<std::int64_t()> nowMs_;
    QLabel* text_ = nullptr;
    QTimer* timer_ = nullptr;
    std::int64_t dismissedAt_ = 0;
    bool dismissed_ = false;
    bool soundOn_ = false;
};

}  // namespace zelmora::gui
