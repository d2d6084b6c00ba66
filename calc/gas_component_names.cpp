#include "calc/gas_component_names.h"

#include <cmath>

#include "app/settings_store.h"
#include "app/text.h"

namespace zelmora {
namespace {

std::string nameValue(std::size_t i) {
    return text::format("Param%zu", i);
}

std::string limitValue(std::size_t i) {
    return text::format("Param%zu_predel", i);
}

bool usableLimit(double r) {
    return std::isfinite(r) && r > 0;
}

}  // namespace

GasComponentNames::GasComponentNames() {
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        names[i] = kGasComponents[i].name;
        limits[i] = kDefaultRepeatabilityLimit;
    }
}

Status GasComponentNames::validate() const {
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        const std::string_view name = text::trim(names[i]);
        if (name.empty())
            return Status::failure(std::string("Не задано имя компонента \"") +
                                   kGasComponents[i].name + "\"");
        for (std::size_t k = 0; k < i; ++k) {
            if (text::equalsNoCase(name, text::trim(names[k])))
                return Status::failure(text::format(
                    "Имя \"%s\" задано двум компонентам: \"%s\" и \"%s\"",
                    std::string(name).c_str(), kGasComponents[k].name, kGasComponents[i].name));
        }
        if (!usableLimit(limits[i]))
            return Status::failure(std::string("Предел повторяемости компонента \"") +
                                   kGasComponents[i].name + "\" должен быть числом больше 0");
    }
    return {};
}

GasComponentNames GasComponentNames::load(const SettingsStore& store) {
    GasComponentNames out;
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        const std::string name(
            text::trim(store.readString(kGasNamesKey, nameValue(i), kGasComponents[i].name)));
        bool taken = name.empty();
        for (std::size_t k = 0; k < i && !taken; ++k)
            taken = text::equalsNoCase(name, out.names[k]);
        if (!taken)
            out.names[i] = name;
        const std::optional<double> r =
            text::parseDouble(store.readString(kGasNamesKey, limitValue(i), "2"), true);
        if (r && usableLimit(*r))
            out.limits[i] = *r;
    }
    return out;
}

bool GasComponentNames::save(SettingsStore& store) const {
    bool ok = true;
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        ok = store.setString(kGasNamesKey, nameValue(i), names[i]) && ok;
        ok = store.setString(kGasNamesKey, limitValue(i), text::format("%f", limits[i])) && ok;
    }
    return ok;
}

}  // namespace zelmora
