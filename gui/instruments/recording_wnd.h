#pragma once
// The recording window (`CRecordingWnd`): the chromatogram growing on a
// channel, redrawn on the drawing timer ("Processor"), with the elapsed time,
// the run time and the last value on its status line; the time axis spans
// the run time and the signal axis follows the points as they come (or the
// method's fixed bounds). Its commands: "Остановить запись" (with the
// question of "Disconect2"), "Остановить запись серии анализов", "Добавить
// 5 минут", "&Показать всё", "Bсё по в&ремени", "Bсё по &высоте" and
// "&Паспорт...". Closing it while it records asks to stop, as "Остановить
// запись"; it closes itself when the recording ends.

#include <QMdiSubWindow>
#include <QWidget>
#include <vector>

class QLabel;
class QTimer;

namespace zelmora {
class CChannel;
}

namespace zelmora::gui {

// The live trace: the points copied from the channel, drawn one pixel
// column at a time with the column's lowest and highest point, so a frame
// costs the same for an hour as for a minute.
class CRecordingView : public QWidget {
    Q_OBJECT
  public:
    explicit CRecordingView(QWidget* parent = nullptr);

    void setTimeBase(double t0, double dt) {
        t0_ = t0;
        dt_ = dt;
    }
    void setRunTime(double minutes) { runTime_ = minutes; }
    void setFixedBounds(bool on, double low, double high);
    void append(const std::vector<float>& points, std::size_t from);
    std::size_t pointCount() const { return points_.size(); }
    // Axis choices of the commands: the whole run time and/or the whole
    // range of the points.
    void showAll();
    void showAllTimes();
    void showAllHeights();
    double timeSpan() const { return tMax_; }
    double lowValue() const { return yLow_; }
    double highValue() const { return yHigh_; }
    // The time of the last drawing in milliseconds.
    double lastFrameMs() const { return lastFrameMs_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void fitHeights();

    std::vector<float> points_;
    double t0_ = 0;
    double dt_ = 1;
    double runTime_ = 30;
    double tMax_ = 30;
    double yLow_ = 0;
    double yHigh_ = 1;
    bool fixed_ = false;
    double lastFrameMs_ = 0;
};

class CRecordingWnd : public QMdiSubWindow {
    Q_OBJECT
  public:
    static constexpr int kBand = 183;

    CRecordingWnd(CChannel& channel, QWidget* owner);
    ~CRecordingWnd() override;

    CChannel& channel() const { return channel_; }
    CRecordingView* view() const { return view_; }
    QLabel* statusLine() const { return status_; }
    QString statusText() const;

    static bool handles(int commandId);
    bool isCommandEnabled(int commandId) const;
    bool runCommand(int commandId);
    // "Остановить запись": with "Disconect2" only after the operator's yes.
    bool stopRecording();
    // One timer tick: new points, the status line, the journal's flush.
    void tick();
    // The recording ended: the window closes without asking.
    void finish();

  signals:
    void commandStatesChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CChannel& channel_;
    QWidget* owner_;
    CRecordingView* view_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    std::vector<float> fresh_;
    bool finished_ = false;
};

}  // namespace zelmora::gui
