#pragma once
// The "Приборы" menu as data, for the main window to show: per device
// "%d. %s" with "&Подключить", "&Установки...", a separator and, for each
// channel in use, "Канал &%d" with its four commands; and the enabled and
// checked state of every device command.

#include <optional>
#include <string>
#include <vector>

namespace zelmora {

class CDeviceManager;

struct MenuItem {
    std::string text;
    int commandId = 0;  // 0 for a popup or a separator
    bool separator = false;
    std::vector<MenuItem> children;
};

std::vector<MenuItem> buildDeviceMenu(const CDeviceManager& manager);

struct CommandState {
    bool enabled = false;
    bool checked = false;
};
// The state of a command of the device ranges; nullopt for other ids or
// devices that are not in the list.
std::optional<CommandState> deviceCommandState(const CDeviceManager& manager, int commandId);

}  // namespace zelmora
