#include "instruments/device_menu.h"

#include "app/text.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora {

std::vector<MenuItem> buildDeviceMenu(const CDeviceManager& manager) {
    std::vector<MenuItem> menu;
    for (int d = 0; d < manager.count(); ++d) {
        const CDevice& dev = manager.device(d);
        MenuItem popup{text::format("%d. %s", d + 1, dev.displayName().c_str()), 0, false, {}};
        popup.children.push_back({"&Подключить", command::kConnect + d, false, {}});
        popup.children.push_back({"&Установки...", command::kSettings + d, false, {}});
        popup.children.push_back({{}, 0, true, {}});
        for (int c = 0; c < dev.channelCount(); ++c) {
            if (!dev.channel(c).inUse())
                continue;
            const int k = command::channelKey(d, c);
            MenuItem ch{text::format("Канал &%d", c + 1), 0, false, {}};
            ch.children = {{"Запустить &метод", command::kRunMethod + k, false, {}},
                           {"Записать &хроматограмму", command::kRecord + k, false, {}},
                           {"Монитор канала", command::kMonitor + k, false, {}},
                           {"Стоп", command::kStop + k, false, {}}};
            popup.children.push_back(std::move(ch));
        }
        menu.push_back(std::move(popup));
    }
    return menu;
}

std::optional<CommandState> deviceCommandState(const CDeviceManager& manager, int commandId) {
    const auto cmd = command::decode(commandId);
    if (!cmd || cmd->device >= manager.count())
        return std::nullopt;
    const CDevice& dev = manager.device(cmd->device);
    if (cmd->channel >= dev.channelCount())
        return std::nullopt;
    using K = command::Kind;
    switch (cmd->kind) {
        case K::Connect:
            return CommandState{!dev.anyChannelRecording(), dev.isRunning()};
        case K::Settings:
            return CommandState{true, false};
        default:
            break;
    }
    const AcquisitionChannel& ch = dev.channel(cmd->channel);
    const bool recording = ch.isRecording();
    const bool available = ch.inUse() && dev.isRunning();
    switch (cmd->kind) {
        case K::Record:
        case K::RunMethod:
            return CommandState{recording || available, recording};
        case K::Stop:
        case K::Monitor:
            return CommandState{recording, false};
        case K::PanelStart:
            return CommandState{available, false};
        default:
            return std::nullopt;
    }
}

}  // namespace zelmora
