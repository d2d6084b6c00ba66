#pragma once
// The progress window of long instrument operations (loading the
// chromatograph's parameters, plug-and-play): a modeless window with a text
// line, a progress bar over a range (0 to 100 unless set) and one button
// (" Cancel " unless set). Whenever the percentage changes the title becomes
// "<caption> [<percent>%]".

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zelmora::gui {

class CProgressWnd : public QDialog {
    Q_OBJECT
  public:
    explicit CProgressWnd(QWidget* parent = nullptr, const QString& caption = "Progress");

    // "%s [%d%%]"
    static QString titleFor(const QString& caption, int percent);
    // (pos - lower) x 100 / (upper - lower), 0 for an empty range.
    static int percentOf(int pos, int lower, int upper);

    void setCaption(const QString& caption);
    void setText(const QString& text);
    void setRange(int lower, int upper);
    void setPos(int pos);
    void setButtonText(const QString& text);

    int percent() const { return percent_; }
    QString text() const;
    // True once the button was pressed (or the window closed with Esc).
    bool cancelled() const { return cancelled_; }
    QPushButton* button() const { return button_; }
    QProgressBar* bar() const { return bar_; }

  protected:
    void reject() override;

  signals:
    void cancelRequested();

  private:
    QString caption_;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* button_ = nullptr;
    int lower_ = 0;
    int upper_ = 100;
    int percent_ = -1;
    bool cancelled_ = false;
};

}  // namespace zelmora::gui
