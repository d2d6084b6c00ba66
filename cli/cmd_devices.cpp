// zelmora-cli devices: the list of connected instruments in the settings.

#include <cstdio>

#include "app/settings_store.h"
#include "app/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora::cli {
namespace {

std::string channelsText(const CDevice& d) {
    std::string s;
    for (int c = 0; c < d.channelCount(); ++c)
        s += d.channel(c).inUse() ? text::format("%d", c + 1) : std::string("-");
    return s.empty() ? "нет" : s;
}

int list(Args& args, CDeviceManager& m) {
    if (args.flag("--json")) {
        JsonWriter j;
        j.beginArray();
        for (int i = 0; i < m.count(); ++i) {
            const CDevice& d = m.device(i);
            j.beginObject()
                .field("number", i + 1)
                .field("type", d.type())
                .field("name", d.displayName())
                .field("port", text::format("COM%d", d.portIndex() + 1))
                .field("path", deviceHasPort(d.type()) ? m.portPath(d.portIndex()) : std::string())
                .field("channels", d.channelCount())
                .field("channelsInUse", channelsText(d))
                .endObject();
        }
        j.endArray();
        std::fputs(j.str().c_str(), stdout);
        return kExitOk;
    }
    if (m.count() == 0) {
        std::printf("Приборы не подключены.\n");
        return kExitOk;
    }
    std::printf("%-3s %-20s %-6s %-24s %s\n", "N", "Прибор", "Порт", "Устройство", "Каналы");
    for (int i = 0; i < m.count(); ++i) {
        const CDevice& d = m.device(i);
        const bool port = deviceHasPort(d.type());
        std::printf("%-3d %-20s %-6s %-24s %s\n", i + 1, d.displayName().c_str(),
                    port ? text::format("COM%d", d.portIndex() + 1).c_str() : "-",
                    port ? m.portPath(d.portIndex()).c_str() : "-", channelsText(d).c_str());
    }
    return kExitOk;
}

int add(Args& args, CDeviceManager& m) {
    const auto typeText = args.option("--type");
    if (!typeText)
        return args.usageError("укажите --type (код 0-8 или название прибора)");
    const auto type = parseDeviceType(*typeText);
    if (!type)
        return args.usageError("неизвестный тип прибора: " + *typeText);
    int portIndex = kDefaultPortIndex;
    if (const auto p = args.option("--port")) {
        const auto n = text::parseInt(*p);
        if (!n || *n < 1 || *n > 256)
            return args.usageError("номер порта от 1 до 256: " + *p);
        portIndex = static_cast<int>(*n) - 1;
    }
    if (m.count() >= kMaxDevices)
        return failure(text::format("в списке уже %d приборов", kMaxDevices));
    CDevice* d = m.add(*type);
    if (d == nullptr)
        return failure("не удалось добавить прибор");
    d->setPortIndex(portIndex);
    if (const auto path = args.option("--path"))
        m.setPortPath(portIndex, *path);
    if (const Status saved = m.save(); !saved)
        return failure(saved, "не удалось записать настройки: ");
    std::printf("Прибор %d: %s на COM%d (%s)\n", m.count(), d->displayName().c_str(), portIndex + 1,
                m.portPath(portIndex).c_str());
    return kExitOk;
}

int remove(Args& args, CDeviceManager& m) {
    if (args.positional().size() != 2)
        return args.usageError("укажите номер прибора");
    const auto n = text::parseInt(args.positional()[1]);
    if (!n || *n < 1 || *n > m.count())
        return failure(text::format("нет прибора с номером %s (в списке %d)",
                                    args.positional()[1].c_str(), m.count()));
    const std::string name = m.device(static_cast<int>(*n) - 1).displayName();
    if (!m.remove(static_cast<int>(*n) - 1))
        return failure("прибор занят записью");
    if (const Status saved = m.save(); !saved)
        return failure(saved, "не удалось записать настройки: ");
    std::printf("Удалён прибор %lld: %s\n", *n, name.c_str());
    return kExitOk;
}

int run(Args& args) {
    if (!args.parse({"--json"}, {"--type", "--port", "--path"}))
        return kExitUsage;
    if (args.positional().empty())
        return args.usageError("укажите list, add или remove");
    CDeviceManager m(userSettings());
    m.load();
    const std::string& what = args.positional()[0];
    if (what == "list") {
        if (args.positional().size() != 1)
            return args.usageError("лишние аргументы");
        return list(args, m);
    }
    if (what == "add") {
        if (args.positional().size() != 1)
            return args.usageError("лишние аргументы");
        return add(args, m);
    }
    if (what == "remove")
        return remove(args, m);
    return args.usageError("неизвестное действие: " + what);
}

}  // namespace

extern const CliCommand kCommand_devices = {
    "devices", "список подключённых приборов: просмотр, добавление, удаление",
    "Использование:\n"
    "  zelmora-cli devices list [--json]\n"
    "  zelmora-cli devices add --type T [--port N] [--path УСТРОЙСТВО]\n"
    "  zelmora-cli devices remove N\n"
    "Список приборов хранится в настройках пользователя (не более 10).\n"
    "  --type T     код 0-8 или название: \"Zelmora Ostrel\", ostrel, \"КД+АЦП\",\n"
    "               \"Демо АЦП\", Флюорат, Varsel, ...\n"
    "  --port N     номер COM-порта, с 1 (по умолчанию 3)\n"
    "  --path P     файл устройства для этого порта (/dev/ttyUSB0, псевдотерминал\n"
    "               симулятора); без него COMn это /dev/ttyS(n-1)\n"
    "  --json       список в формате JSON\n",
    run};

}  // namespace zelmora::cli
