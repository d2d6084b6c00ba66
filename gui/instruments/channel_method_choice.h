#pragma once
// The choice of a channel's method for "Запустить метод": the method
// chooser, preset with the channel's method, with the number of analyses of
// the series and "Использовать установки прибора из метода".

#include <QString>
#include <optional>

class QWidget;

namespace zelmora::gui {

struct ChannelMethodChoice {
    QString name;  // file name without ".mtd"
    int repetitions = 1;
    bool useMethodSettings = true;
};

// nullopt when the operator cancels or the folder has no method.
std::optional<ChannelMethodChoice> chooseChannelMethod(QWidget* parent, const QString& preset);

}  // namespace zelmora::gui
