#include "database/catalogue.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/text.h"
#include "database/schema.h"

namespace zelmora::db {

namespace {

Status checkName(std::string_view name, std::size_t limit, const char* what) {
    if (text::trim(name).empty())
        return Status::failure(std::string("пустое имя: ") + what);
    if (charCount(name) > limit)
        return Status::failure(text::format("%s длиннее %zu символов", what, limit));
    return {};
}

Result<std::optional<int>> keyOf(Connection& db, const char* sql, auto&& bindValues) {
    Statement s = db.prepare(sql);
    bindValues(s);
    if (s.next())
        return std::optional<int>(s.integer(0));
    if (!s.ok())
        return s.status();
    return std::optional<int>();
}

bool missingName(const std::string& s) {
    return s.empty() || s == kNoName;
}

std::string orNoName(const std::string& s) {
    return text::trim(s).empty() ? std::string(kNoName) : s;
}

}  // namespace

std::size_t charCount(std::string_view utf8) {
    std::size_t n = 0, pos = 0;
    while (pos < utf8.size()) {
        text::decodeUtf8(utf8, pos);
        ++n;
    }
    return n;
}

Result<std::optional<int>> stationKey(Connection& db, std::string_view name) {
    return keyOf(db, "SELECT KeyStation FROM Stations WHERE StationFold = ?",
                 [&](Statement& s) { s.bind(1, text::foldCase(name)); });
}

Result<std::optional<int>> placeKey(Connection& db, int keyStation, std::string_view name) {
    return keyOf(db, "SELECT KeyPlace FROM Places WHERE Station = ? AND PlaceFold = ?",
                 [&](Statement& s) { s.bind(1, keyStation).bind(2, text::foldCase(name)); });
}

Result<std::optional<int>> parametrKey(Connection& db, std::string_view name) {
    return keyOf(db, "SELECT KeyParametr FROM Parametres WHERE ParametrFold = ?",
                 [&](Statement& s) { s.bind(1, text::foldCase(name)); });
}

Result<int> addStation(Connection& db, std::string_view name) {
    if (Status s = checkName(name, kStationMaxChars, "пункт отбора"); !s)
        return s;
    auto existing = stationKey(db, name);
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::failure("пункт отбора уже есть: " + std::string(name));
    return CStationSet(db).add(name);
}

Result<int> addPlace(Connection& db, int keyStation, std::string_view name) {
    if (Status s = checkName(name, kPlaceMaxChars, "точка отбора"); !s)
        return s;
    auto existing = placeKey(db, keyStation, name);
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::failure("точка отбора уже есть: " + std::string(name));
    return CPlaceSet(db).add(name, keyStation);
}

Result<int> addParametr(Connection& db, std::string_view name, std::string_view quant,
                        double defValue) {
    if (Status s = checkName(name, kParametrMaxChars, "компонент"); !s)
        return s;
    if (charCount(quant) > kQuantMaxChars)
        return Status::failure(
            text::format("единица измерения длиннее %zu символов", kQuantMaxChars));
    auto existing = parametrKey(db, name);
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::failure("компонент уже есть: " + std::string(name));
    return CParametrSet(db).add(name, quant, defValue);
}

Status controlComponents(Connection& db, int keyPlace, const std::vector<int>& keyParametres) {
    Transaction t(db);
    if (!t.status())
        return t.status();
    Statement s = db.prepare(
        "INSERT INTO CritValues (Place, KeyParametr, CritValue) "
        "SELECT ?, KeyParametr, DefValue FROM Parametres WHERE KeyParametr = ? "
        "ON CONFLICT (Place, KeyParametr) DO NOTHING");
    for (int key : keyParametres) {
        s.reset();
        if (Status st = s.bind(1, keyPlace).bind(2, key).run(); !st)
            return st;
    }
    return t.commit();
}

std::optional<double> parseTypedValue(std::string_view typed) {
    return text::parseDouble(typed, true);
}

CellShade shadeForCriticalValue(std::optional<double> value, std::optional<double> critical) {
    if (!value || !critical || std::fabs(*critical) <= 1e-50)
        return {};
    if (*value >= *critical)
        return {CellShade::Kind::Red, 100};
    const double percent = *value * 100.0 / *critical;
    if (!(percent > 0))
        return {CellShade::Kind::Cyan, 0};
    return {CellShade::Kind::Cyan, static_cast<int>(percent)};
}

Result<bool> applyAnalysisFields(Connection& db, int keyAnalys, const AnalysisFields& f) {
    CAnalysSet set(db);
    auto found = set.find(keyAnalys);
    if (!found)
        return found.status();
    if (!*found)
        return Status::failure(text::format("анализ %d не найден", keyAnalys));
    AnalysisRow row = **found;
    const AnalysisRow before = row;
    row.station = orNoName(f.station);
    row.place = orNoName(f.place);
    row.date = f.date;
    row.method = f.method;
    row.sample = f.sample;
    row.operatorName = f.operatorName;
    if (row == before)
        return false;
    if (Status s = set.update(row); !s)
        return s;
    return true;
}

Result<int> newEmptyAnalysis(Connection& db) {
    return CAnalysSet(db).add(AnalysisRow{});
}

Result<int> newAnalysisFrom(Connection& db, const AnalysisFields& criteria) {
    AnalysisRow row;
    row.station = criteria.station;
    row.place = criteria.place;
    row.method = criteria.method;
    row.operatorName = criteria.operatorName;
    return CAnalysSet(db).add(row);
}

bool isEmptyAnalysis(const AnalysisRow& row, std::size_t resultCount) {
    return missingName(row.station) && missingName(row.place) && row.operatorName.empty() &&
           row.method.empty() && row.sample.empty() && row.comment.empty() &&
           row.fileName.empty() && resultCount == 0;
}

Result<bool> closeAnalysis(Connection& db, int keyAnalys, bool createdEmpty) {
    if (!createdEmpty)
        return false;
    Transaction t(db);
    if (!t.status())
        return t.status();
    CAnalysSet set(db);
    auto found = set.find(keyAnalys);
    if (!found)
        return found.status();
    if (!*found)
        return false;
    CResultSet results(db);
    if (Status s = results.open(keyAnalys); !s)
        return s;
    if (!isEmptyAnalysis(**found, results.rows.size()))
        return false;
    if (Status s = set.remove(keyAnalys); !s)
        return s;
    if (Status s = t.commit(); !s)
        return s;
    return true;
}

DeleteOutcome deleteAnalyses(Connection& db, const std::vector<int>& keys) {
    DeleteOutcome out;
    CAnalysSet set(db);
    // From the bottom up, as the grid removes its rows.
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        auto found = set.find(*it);
        if (!found) {
            out.errors.push_back(found.message());
            continue;
        }
        if (!*found)
            continue;
        if (Status s = set.remove(*it); !s) {
            out.errors.push_back(s.message());
            continue;
        }
        if (!(*found)->fileName.empty())
            out.fileNames.push_back((*found)->fileName);
    }
    return out;
}

std::vector<std::string> deleteChromatogramFiles(const std::vector<std::string>& files) {
    std::vector<std::string> errors;
    for (const std::string& f : files) {
        std::error_code ec;
        if (!std::filesystem::remove(f, ec) || ec)
            errors.push_back(f + ": " + (ec ? ec.message() : std::string("файл не найден")));
    }
    return errors;
}

Result<bool> setTypedResult(Connection& db, int keyAnalys, std::string_view parametr,
                            std::string_view typed) {
    const std::optional<double> v = parseTypedValue(typed);
    if (!v)
        return false;
    Statement s = db.prepare("UPDATE Results SET Value = ? WHERE Analys = ? AND ParametrFold = ?");
    s.bind(1, *v).bind(2, keyAnalys).bind(3, text::foldCase(parametr));
    if (Status st = s.run(); !st)
        return st;
    if (db.changes() != 1)
        return Status::failure("результат не найден: " + std::string(parametr));
    return true;
}

Status addEmptyResults(Connection& db, int keyAnalys, const std::vector<std::string>& names) {
    Transaction t(db);
    if (!t.status())
        return t.status();
    CResultSet set(db);
    for (const std::string& n : names) {
        if (Status s = set.add(keyAnalys, n, std::nullopt); !s)
            return s;
    }
    return t.commit();
}

Status removeResults(Connection& db, int keyAnalys, const std::vector<std::string>& names) {
    Transaction t(db);
    if (!t.status())
        return t.status();
    CResultSet set(db);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (Status s = set.remove(keyAnalys, *it); !s)
            return s;
    }
    return t.commit();
}

std::string unknownStationQuestion(std::string_view station) {
    return "Пункт отбора " + std::string(station) + " отсутствует в базе данных. Добавить ?";
}

std::string unknownPlaceQuestion(std::string_view place, std::string_view station) {
    return "Точка отбора " + std::string(place) + " для пункта отбора " + std::string(station) +
           " отсутствует в базе данных. Добавить ?";
}

Result<PassportPlaceCheck> checkPassportPlace(Connection& db, std::string_view station,
                                              std::string_view place, const AskYesNoCancel& ask) {
    PassportPlaceCheck out;
    if (text::trim(station).empty())
        return out;
    auto key = stationKey(db, station);
    if (!key)
        return key.status();
    std::optional<int> keyStation = *key;
    if (!keyStation) {
        switch (ask(unknownStationQuestion(station))) {
            case Answer::Cancel:
                out.keepDialogOpen = true;
                return out;
            case Answer::No:
                return out;
            case Answer::Yes: {
                Result<int> added = addStation(db, station);
                if (!added)
                    return added.status();
                keyStation = *added;
                out.stationAdded = true;
                break;
            }
        }
    }
    if (text::trim(place).empty())
        return out;
    auto pkey = placeKey(db, *keyStation, place);
    if (!pkey)
        return pkey.status();
    if (*pkey)
        return out;
    switch (ask(unknownPlaceQuestion(place, station))) {
        case Answer::Cancel:
            out.keepDialogOpen = true;
            return out;
        case Answer::No:
            return out;
        case Answer::Yes: {
            Result<int> added = addPlace(db, *keyStation, place);
            if (!added)
                return added.status();
            out.placeAdded = true;
            return out;
        }
    }
    return out;
}

}  // namespace zelmora::db
