#pragma once
// The choice of a channel's method for "Запустить метод": the methods of the
// methods folder ("*.mtd") in a list, preset with the channel's method, the
// number of analyses of the series and "Использовать установки прибора из
// метода". A stand-in for the method chooser of the method editor, with the
// same answer.

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
