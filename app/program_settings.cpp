#include "app/program_settings.h"

#include <algorithm>
#include <cmath>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/version.h"

namespace zelmora {
namespace {

struct FlagOption {
    const char* name;
    bool ProgramOptions::*field;
};
struct IntOption {
    const char* name;
    int ProgramOptions::*field;
    int min, max;
};
struct RealOption {
    const char* name;
    double ProgramOptions::*field;
};

constexpr FlagOption kFlags[] = {
    {"UseC0", &ProgramOptions::useC0},
    {"ConfirmDisconnect", &ProgramOptions::confirmDisconnect},
    {"AutoSave", &ProgramOptions::autoSave},
    {"EnableKGK", &ProgramOptions::enableKGK},
    {"AutoClose", &ProgramOptions::autoClose},
    {"CheckOpenPassport", &ProgramOptions::checkOpenPassport},
    {"Disconect2", &ProgramOptions::disconect2},
    {"NameNumber", &ProgramOptions::nameNumber},
    {"NameName", &ProgramOptions::nameName},
    {"NameTime", &ProgramOptions::nameTime},
    {"PeekWindow", &ProgramOptions::peekWindow},
    {"TransformOil", &ProgramOptions::transformOil},
    {"ViewGroup", &ProgramOptions::viewGroup},
    {"NoViewGroupCalib", &ProgramOptions::noViewGroupCalib},
    {"UseSound", &ProgramOptions::useSound},
    {"CheckViewNoMethod", &ProgramOptions::checkViewNoMethod},
    {"AutoGenerateMethod", &ProgramOptions::autoGenerateMethod},
    {"CheckViewReport", &ProgramOptions::checkViewReport},
    {"CheckViewAutoMark", &ProgramOptions::checkViewAutoMark},
    {"CheckSaveDb", &ProgramOptions::checkSaveDb},
    {"CheckSaveCopy", &ProgramOptions::checkSaveCopy},
};

// Digits beyond 15 would ask printf for more precision than a double has.
constexpr IntOption kInts[] = {
    {"DetType", &ProgramOptions::detType, 0, 1},
    {"DetType2", &ProgramOptions::detType2, 0, 4},
    {"NoiseCalcType", &ProgramOptions::noiseCalcType, 0, 1},
    {"DriftageCompensation", &ProgramOptions::driftageCompensation, 0, 1},
    {"Direction", &ProgramOptions::direction, 0, 1},
    {"NumZnakovC", &ProgramOptions::numZnakovC, 0, 15},
    {"NumZnakovH", &ProgramOptions::numZnakovH, 0, 15},
    {"NumZnakovS", &ProgramOptions::numZnakovS, 0, 15},
    {"FloatType", &ProgramOptions::floatType, 0, 2},
    {"Processor", &ProgramOptions::processor, 0, 7},
    {"SaveFolderType", &ProgramOptions::saveFolderType, 0, 3},
    {"MarkPeek", &ProgramOptions::markPeek, 0, 1},
    {"NormSec", &ProgramOptions::normSec, 0, 1},
    {"AccessLevel", &ProgramOptions::accessLevel, 0, 5},
};

constexpr RealOption kReals[] = {
    {"C0", &ProgramOptions::c0},         {"V", &ProgramOptions::v},
    {"Qgn", &ProgramOptions::qgn},       {"PDoza", &ProgramOptions::pDoza},
    {"TKrana", &ProgramOptions::tKrana}, {"KK", &ProgramOptions::kk},
};

// A real number stored as text; an empty text reads as 0, an unreadable one
// as the default.
double readReal(const SettingsStore& s, const char* name, double def) {
    auto v = s.value(kRootKey, name);
    if (!v)
        return def;
    const auto* str = std::get_if<std::string>(&*v);
    if (str == nullptr)
        return def;
    if (text::trim(*str).empty())
        return 0;
    return text::parseDouble(*str, true).value_or(def);
}

}  // namespace

ProgramOptions::ProgramOptions() {
    for (std::size_t i = 0; i < oilGases.size(); ++i) {
        oilGases[i].formula = kOilGasFormulas[i];
        oilGases[i].name = kOilGasFormulas[i];
    }
    pathSaveCopy = paths::defaultCopiesFolder().string();
}

namespace {
std::filesystem::path orDefault(const std::string& folder, std::filesystem::path def) {
    return folder.empty() ? def : std::filesystem::path(folder);
}
}  // namespace

std::filesystem::path ProgramOptions::logFolder() const {
    return orDefault(userFiles, paths::defaultLogFolder());
}
std::filesystem::path ProgramOptions::databaseFolder() const {
    return orDefault(pathSaveDb, paths::defaultDatabaseFolder());
}
std::filesystem::path ProgramOptions::methodFolder() const {
    return orDefault(methodPath, paths::defaultMethodFolder());
}
std::filesystem::path ProgramOptions::chromatogramFolder() const {
    return orDefault(openPath, paths::defaultChromatogramFolder());
}
std::filesystem::path ProgramOptions::copiesFolder() const {
    return orDefault(pathSaveCopy, paths::defaultCopiesFolder());
}
std::filesystem::path ProgramOptions::databaseFile() const {
    return databaseFolder() / "Zelmora.db";
}

CProgramSettings::CProgramSettings() = default;

CProgramSettings& CProgramSettings::instance() {
    static CProgramSettings settings;
    static const bool loaded = (settings.load(userSettings(), &machineSettings()), true);
    (void)loaded;
    return settings;
}

void CProgramSettings::load(const SettingsStore& user, const SettingsStore* machine) {
    ProgramOptions o;
    for (const auto& f : kFlags) {
        const std::uint32_t def = (o.*f.field) ? 1u : 0u;
        const std::uint32_t v = user.readDword(kRootKey, f.name, def);
        o.*f.field = v <= 1 ? v == 1 : def == 1;
    }
    for (const auto& f : kInts) {
        const int def = o.*f.field;
        const std::int32_t v = user.readInt(kRootKey, f.name, def);
        o.*f.field = (v >= f.min && v <= f.max) ? v : def;
    }
    for (const auto& f : kReals)
        o.*f.field = readReal(user, f.name, o.*f.field);
    {
        const std::uint32_t v = user.readDword(kRootKey, "UseKK", 0);
        o.useKK = v <= 1 ? static_cast<double>(v) : 0.0;
    }
    o.pathSaveCopy = user.readString(kRootKey, "PathSaveCopy", o.pathSaveCopy);
    if (machine != nullptr)
        o.userFiles = machine->readString(kRootKey, "UserFiles");

    std::lock_guard lock(mutex_);
    userPathSaveDb_ = user.readString(kRootKey, "PathSaveDb");
    userMethodPath_ = user.readString(kRootKey, "MethodPath");
    userOpenPath_ = user.readString(kRootKey, "OpenPath");
    machinePathSaveDb_.clear();
    machineMethodPath_.clear();
    machineOpenPath_.clear();
    if (machine != nullptr) {
        machinePathSaveDb_ = machine->readString(kRootKey, "PathSaveDb");
        machineMethodPath_ = machine->readString(kRootKey, "MethodPath");
        machineOpenPath_ = machine->readString(kRootKey, "OpenPath");
    }
    // An empty per-user database folder hands all three folders to the
    // machine-wide values, even a non-empty per-user methods folder.
    machineFolders_ = userPathSaveDb_.empty() && machine != nullptr;
    if (machineFolders_) {
        o.pathSaveDb = machinePathSaveDb_;
        o.methodPath = machineMethodPath_;
        o.openPath = machineOpenPath_;
    } else {
        o.pathSaveDb = userPathSaveDb_;
        o.methodPath = userMethodPath_;
        o.openPath = userOpenPath_;
    }
    for (std::size_t i = 0; i < o.oilGases.size(); ++i) {
        auto& g = o.oilGases[i];
        g.name = user.readString(kRootKey, g.formula, g.formula);
        g.boundary = readReal(user, (g.formula + "GrConc").c_str(), 0);
    }
    options_ = std::move(o);
}

Status CProgramSettings::save(SettingsStore& user) const {
    std::unique_lock lock(mutex_);
    const ProgramOptions o = options_;
    const std::string pathSaveDb = userPathSaveDb_, methodPath = userMethodPath_,
                      openPath = userOpenPath_;
    lock.unlock();
    for (const auto& f : kFlags)
        user.setDword(kRootKey, f.name, (o.*f.field) ? 1 : 0);
    for (const auto& f : kInts)
        user.setInt(kRootKey, f.name, o.*f.field);
    for (const auto& f : kReals)
        user.setString(kRootKey, f.name, text::format("%f", o.*f.field));
    user.setDword(kRootKey, "UseKK", o.useKK != 0 ? 1 : 0);
    user.setString(kRootKey, "PathSaveDb", pathSaveDb);
    user.setString(kRootKey, "PathSaveCopy", o.pathSaveCopy);
    user.setString(kRootKey, "MethodPath", methodPath);
    user.setString(kRootKey, "OpenPath", openPath);
    for (const auto& g : o.oilGases) {
        user.setString(kRootKey, g.formula, g.name);
        user.setString(kRootKey, g.formula + "GrConc", text::format("%.5f", g.boundary));
    }
    return user.flush();
}

Status CProgramSettings::save() const {
    return save(userSettings());
}

ProgramOptions CProgramSettings::options() const {
    std::lock_guard lock(mutex_);
    return options_;
}

void CProgramSettings::setOptions(const ProgramOptions& o) {
    std::lock_guard lock(mutex_);
    options_ = o;
    folderChanged();
}

// Called with the lock held after options_ changed: folders that differ from
// the machine-wide view are the user's own from now on.
void CProgramSettings::folderChanged() {
    if (machineFolders_ && options_.pathSaveDb == machinePathSaveDb_ &&
        options_.methodPath == machineMethodPath_ && options_.openPath == machineOpenPath_)
        return;
    machineFolders_ = false;
    userPathSaveDb_ = options_.pathSaveDb;
    userMethodPath_ = options_.methodPath;
    userOpenPath_ = options_.openPath;
}

bool CProgramSettings::usesMachineFolders() const {
    std::lock_guard lock(mutex_);
    return machineFolders_;
}

bool CProgramSettings::setCopiesFolder(const std::string& folder) {
    {
        std::lock_guard lock(mutex_);
        options_.pathSaveCopy = folder;
    }
    return paths::ensureFolder(folder);
}

std::string FormatValue(double value, int kind, const ProgramOptions& o) {
    int digits = 3;
    if (kind == 0)
        digits = o.numZnakovC;
    if (kind == 1)
        digits = o.numZnakovH;
    if (kind == 2)
        digits = o.numZnakovS;
    const double eps = 1.0 / std::pow(10.0, digits);
    bool exponent = o.floatType == 2;
    if (o.floatType == 0)
        exponent = value != 0 && std::fabs(value) <= 5 * eps;
    return exponent ? text::format("%.*e", digits, value) : text::format("%.*f", digits, value);
}

std::string FormatValue(double value, int kind) {
    return FormatValue(value, kind, programOptions());
}

std::string versionText(int major, int minor, int patch, int tweak) {
    std::string s = text::format("Версия %d.%d.%d", major, minor, patch);
    if (tweak == 1)
        s += " beta";
    if (tweak == 2)
        s += " alpha";
    return s;
}

std::string versionText() {
    return versionText(kVersionMajor, kVersionMinor, kVersionPatch, kVersionTweak);
}

std::string versionNumber() {
    const std::string full = versionText();
    const auto blank = full.find(' ');
    return blank == std::string::npos ? full : full.substr(blank + 1);
}

std::string russianDate(std::string_view buildDate) {
    static constexpr const char* kEn[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static constexpr const char* kRu[] = {"января",   "февраля", "марта",  "апреля",
                                          "мая",      "июня",    "июля",   "августа",
                                          "сентября", "октября", "ноября", "декабря"};
    const auto blank = buildDate.find(' ');
    std::string month(buildDate.substr(0, blank));
    std::string_view rest = blank == std::string_view::npos ? "" : buildDate.substr(blank);
    rest = text::trim(rest);
    const auto blank2 = rest.find(' ');
    const std::string_view day = rest.substr(0, blank2);
    const std::string_view year =
        blank2 == std::string_view::npos ? std::string_view() : text::trim(rest.substr(blank2));
    for (int i = 0; i < 12; ++i) {
        if (month == kEn[i]) {
            month = kRu[i];
            break;
        }
    }
    std::string out(day);
    out += ' ';
    out += month;
    if (!year.empty()) {
        out += ' ';
        out += year;
    }
    return out;
}

std::string buildDateText() {
    return russianDate(__DATE__);
}

std::vector<std::string> methodFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && text::equalsNoCase(name.substr(name.size() - 4), ".mtd"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = text::compareNoCase(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

const char* accessLevelName(int level) {
    static constexpr const char* kNames[kAccessLevels] = {
        "Начинающий", "Опытный", "Специалист", "Наладчик КИПа", "Наладчик", "Разработчик"};
    return level >= 0 && level < kAccessLevels ? kNames[level] : "";
}

std::string latinLayout(std::string_view cyrillic) {
    // The Russian keyboard layout over the Latin one, letter by letter.
    static constexpr std::string_view kRu = "ЙЦУКЕНГШЩЗФЫВАПРОЛДЯЧСМИТЬ";
    static constexpr std::string_view kEn = "QWERTYUIOPASDFGHJKLZXCVBNM";
    std::string out;
    std::size_t pos = 0;
    while (pos < cyrillic.size()) {
        const char32_t cp = text::decodeUtf8(cyrillic, pos);
        const bool lower = text::toUpper(cp) != cp;
        const char32_t up = text::toUpper(cp);
        std::size_t i = 0, k = 0;
        char latin = '?';
        while (i < kRu.size()) {
            if (text::decodeUtf8(kRu, i) == up) {
                latin = kEn[k];
                break;
            }
            ++k;
        }
        out += lower ? static_cast<char>(latin - 'A' + 'a') : latin;
    }
    return out;
}

bool acceptsPassword(int level, std::string_view typed) {
    const char* word = nullptr;
    if (level == 3)
        word = "ПУСК";
    if (level == 4)
        word = "ШЛЕЙФ";
    if (level == 5)
        word = "КОЛОНКА";
    if (word == nullptr)
        return false;
    const std::string upper = word;
    const std::string lower = text::foldCase(upper);
    const std::string latin = latinLayout(upper);
    return typed == upper || typed == lower || typed == latin || typed == latinLayout(lower);
}

}  // namespace zelmora
