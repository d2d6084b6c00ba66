#pragma once
// A text box for one number of a dialog page with the range the page checks
// when its values are taken: a text that is not a number, or a number out of
// range, keeps the dialog open with the range message and the box focused.
// A decimal comma is accepted as people type it.

#include <QLineEdit>
#include <optional>

namespace zelmora::gui {

class NumberEdit : public QLineEdit {
    Q_OBJECT
  public:
    NumberEdit(double minimum, double maximum, QWidget* parent = nullptr);

    void setValue(double value);
    // The number typed, when it is one and lies in the range.
    std::optional<double> value() const;
    // As value(), but shows the range message and focuses the box on failure.
    std::optional<double> take();
    QString rangeMessage() const;
    void setRange(double minimum, double maximum) {
        minimum_ = minimum;
        maximum_ = maximum;
    }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }

  private:
    double minimum_;
    double maximum_;
};

}  // namespace zelmora::gui
