#include "database/component_values.h"

#include "app/text.h"
#include "database/catalogue.h"
#include "database/recordsets.h"

namespace zelmora::db {

Result<ComponentValues> componentValuesAt(Connection& db, std::string_view station,
                                          std::string_view place) {
    ComponentValues out;
    CParametrSet parametres(db);
    if (Status s = parametres.open(); !s)
        return s;
    for (const auto& r : parametres.rows)
        out.units[text::foldCase(r.parametr)] = r.quant;
    if (station.empty() || place.empty())
        return out;
    CCritValues1Set crit(db);
    if (Status s = crit.open(place, station); !s)
        return s;
    for (const auto& r : crit.rows)
        if (r.critValue)
            out.criticalValues[text::foldCase(r.parametr)] = *r.critValue;
    return out;
}

Result<bool> ensureParametr(Connection& db, std::string_view name) {
    if (name.empty())
        return false;
    auto key = parametrKey(db, name);
    if (!key)
        return key.status();
    if (*key)
        return false;
    auto added = addParametr(db, name, "", 0);
    if (!added)
        return added.status();
    return true;
}

Status setParametrUnit(Connection& db, std::string_view name, std::string_view unit) {
    if (name.empty())
        return Status::failure("компонент без названия");
    if (charCount(unit) > kQuantMaxChars)
        return Status::failure(
            text::format("единица измерения длиннее %d знаков", static_cast<int>(kQuantMaxChars)));
    auto key = parametrKey(db, name);
    if (!key)
        return key.status();
    if (!*key) {
        auto added = addParametr(db, name, unit, 0);
        return added ? Status{} : added.status();
    }
    CParametrSet set(db);
    if (Status s = set.open(); !s)
        return s;
    for (const auto& r : set.rows) {
        if (r.keyParametr == **key) {
            CParametrSet::Row row = r;
            row.quant = std::string(unit);
            return set.update(row);
        }
    }
    return Status::failure("компонент не найден: " + std::string(name));
}

}  // namespace zelmora::db
