#include "gui/instruments/channel_method_choice.h"

#include "gui/method/method_chooser.h"

namespace zelmora::gui {

std::optional<ChannelMethodChoice> chooseChannelMethod(QWidget* parent, const QString& preset) {
    const std::optional<MethodRunChoice> c = chooseMethodForRun(parent, preset.toStdString());
    if (!c)
        return std::nullopt;
    return ChannelMethodChoice{QString::fromStdString(c->name), c->repetitions,
                               c->useInstrumentSettings};
}

}  // namespace zelmora::gui
