#pragma once
// The chromatograph's front-panel lamps repeated on its instrument band:
// "Подготовка", "Готов", "Авария", "Анализ1", "Анализ2", lit as the lamp
// word the program sends to the instrument says (bits 0-4), blinking where
// it asks for blinking (bits 8-12), and next to them the readiness: the run
// state's text with the reasons the instrument is not yet ready in its
// tooltip.

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;

namespace zelmora::gui {

class CLampStrip : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kLamps = 5;
    explicit CLampStrip(QWidget* parent = nullptr);

    // The lamp word and the instrument's status text ("state\r\nreason..."
    // lines); blinkPhase alternates with each refresh.
    void display(std::uint32_t lampWord, const QString& status, bool blinkPhase);
    void clear();

    bool lit(int lamp) const { return lit_[static_cast<std::size_t>(lamp)]; }
    bool blinking(int lamp) const { return blink_[static_cast<std::size_t>(lamp)]; }
    QString stateText() const;
    QString reasons() const;
    static QString lampName(int lamp);

  private:
    std::array<QLabel*, kLamps> lamps_{};
    std::array<bool, kLamps> lit_{};
    std::array<bool, kLamps> blink_{};
    QLabel* status_ = nullptr;
};

}  // namespace zelmora::gui
