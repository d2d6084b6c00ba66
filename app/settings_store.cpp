#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/paths.h"
#include "app/text.h"

namespace zelmora {
namespace {

constexpr std::string_view kHeader = "Zelmora settings 1";

std::string escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += text::format("\\x%02x", static_cast<unsigned>(c));
                } else {
                    out += c;
                }
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at s[pos] == '"'; leaves pos after the
// closing quote.
std::optional<std::string> readQuoted(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    ++pos;
    std::string out;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '"')
            return out;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= s.size())
            return std::nullopt;
        const char e = s[pos++];
        switch (e) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (pos + 2 > s.size())
                    return std::nullopt;
                const int hi = hexDigit(s[pos]), lo = hexDigit(s[pos + 1]);
                if (hi < 0 || lo < 0)
                    return std::nullopt;
                out += static_cast<char>(hi * 16 + lo);
                pos += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

// Serialises cross-process read-modify-write cycles of one settings file.
class FileLock {
  public:
    explicit FileLock(const std::filesystem::path& file) {
        const std::string lockPath = file.string() + ".lock";
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file, bool writable)
    : file_(std::move(file)), writable_(writable) {}

std::string SettingsStore::normaliseKey(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

SettingsStore::Key& SettingsStore::ensureKey(Tree& tree, const std::string& path) {
    // Create every ancestor too, so that enumeration of subkeys finds it.
    std::size_t pos = 0;
    Key* last = nullptr;
    while (true) {
        pos = path.find('\\', pos);
        const std::string prefix = path.substr(0, pos);
        auto& k = tree[text::foldCase(prefix)];
        if (k.path.empty())
            k.path = prefix;
        last = &k;
        if (pos == std::string::npos)
            break;
        ++pos;
    }
    return *last;
}

void SettingsStore::apply(Tree& tree, const Change& c) {
    switch (c.kind) {
        case Change::Set: {
            auto& k = ensureKey(tree, c.key);
            k.values[text::foldCase(c.name)] = Entry{c.name, c.value};
            break;
        }
        case Change::DeleteValue: {
            auto it = tree.find(text::foldCase(c.key));
            if (it != tree.end())
                it->second.values.erase(text::foldCase(c.name));
            break;
        }
        case Change::CreateKey:
            ensureKey(tree, c.key);
            break;
        case Change::DeleteKey: {
            const std::string folded = text::foldCase(c.key);
            for (auto it = tree.begin(); it != tree.end();) {
                const std::string& p = it->first;
                if (p == folded ||
                    (p.size() > folded.size() && p.compare(0, folded.size(), folded) == 0 &&
                     p[folded.size()] == '\\')) {
                    it = tree.erase(it);
                } else {
                    ++it;
                }
            }
            break;
        }
    }
}

Result<SettingsStore::Tree> SettingsStore::parse(std::string_view textIn) {
    Tree tree;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    Key* current = nullptr;
    auto fail = [&](const char* why) -> Result<Tree> {
        return Status::failure(text::format("строка %zu: %s", lineNo, why));
    };
    bool headerSeen = false;
    while (pos <= textIn.size()) {
        std::size_t end = textIn.find('\n', pos);
        if (end == std::string_view::npos)
            end = textIn.size();
        std::string_view line = textIn.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!headerSeen) {
            if (line != kHeader)
                return fail("нет заголовка файла настроек");
            headerSeen = true;
            continue;
        }
        if (line.empty() || line[0] == ';') {
            if (end == textIn.size())
                break;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3)
                return fail("неверное имя раздела");
            const std::string path = normaliseKey(line.substr(1, line.size() - 2));
            if (path.empty())
                return fail("пустое имя раздела");
            current = &ensureKey(tree, path);
            continue;
        }
        if (current == nullptr)
            return fail("значение вне раздела");
        std::size_t p = 0;
        auto name = readQuoted(line, p);
        if (!name || p >= line.size() || line[p] != '=')
            return fail("неверное имя значения");
        ++p;
        std::string_view rest = line.substr(p);
        SettingsValue value;
        if (rest.substr(0, 6) == "dword:") {
            const auto hex = rest.substr(6);
            if (hex.size() != 8)
                return fail("неверное значение dword");
            std::uint32_t v = 0;
            for (char c : hex) {
                const int d = hexDigit(c);
                if (d < 0)
                    return fail("неверное значение dword");
                v = v * 16 + static_cast<std::uint32_t>(d);
            }
            value = v;
        } else if (rest.substr(0, 4) == "hex:") {
            std::vector<std::uint8_t> bytes;
            auto hex = rest.substr(4);
            std::size_t i = 0;
            while (i < hex.size()) {
                if (i + 2 > hex.size())
                    return fail("неверное двоичное значение");
                const int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
                if (hi < 0 || lo < 0)
                    return fail("неверное двоичное значение");
                bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
                i += 2;
                if (i < hex.size()) {
                    if (hex[i] != ',')
                        return fail("неверное двоичное значение");
                    ++i;
                }
            }
            value = std::move(bytes);
        } else {
            std::size_t q = 0;
            auto s = readQuoted(rest, q);
            if (!s || q != rest.size())
                return fail("неверная строка");
            value = std::move(*s);
        }
        current->values[text::foldCase(*name)] = Entry{*name, std::move(value)};
        if (end == textIn.size())
            break;
    }
    if (!headerSeen)
        return fail("пустой файл");
    return tree;
}

std::string SettingsStore::serialize(const Tree& tree) {
    std::string out(kHeader);
    out += '\n';
    for (const auto& [folded, key] : tree) {
        out += "\n[" + key.path + "]\n";
        for (const auto& [fn, e] : key.values) {
            out += '"' + escape(e.name) + "\"=";
            if (auto* d = std::get_if<std::uint32_t>(&e.value)) {
                out += text::format("dword:%08x", *d);
            } else if (auto* s = std::get_if<std::string>(&e.value)) {
                out += '"' + escape(*s) + '"';
            } else {
                out += "hex:";
                const auto& b = std::get<std::vector<std::uint8_t>>(e.value);
                for (std::size_t i = 0; i < b.size(); ++i) {
                    if (i)
                        out += ',';
                    out += text::format("%02x", b[i]);
                }
            }
            out += '\n';
        }
    }
    return out;
}

SettingsStore::LoadStatus SettingsStore::load() {
    std::lock_guard lock(mutex_);
    tree_.clear();
    pending_.clear();
    loadWarning_.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec))
        return LoadStatus::Missing;
    auto content = readWholeFile(file_);
    Result<Tree> tree = content ? parse(*content) : Status::failure("файл не читается");
    if (tree) {
        tree_ = std::move(tree).value();
        return LoadStatus::Loaded;
    }
    const std::string& why = tree.message();
    // Keep the damaged file for inspection; the next flush writes a new one.
    std::string aside;
    if (writable_) {
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm tm{};
        localtime_r(&now, &tm);
        aside = file_.string() + text::format(".damaged-%04d%02d%02d-%02d%02d%02d",
                                              tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                              tm.tm_hour, tm.tm_min, tm.tm_sec);
        std::filesystem::rename(file_, aside, ec);
        if (ec)
            aside.clear();
    }
    loadWarning_ = "? Файл настроек " + file_.string() + " повреждён (" + why + ")";
    if (!aside.empty())
        loadWarning_ += ", сохранён как " + aside;
    loadWarning_ += "; приняты настройки по умолчанию";
    return LoadStatus::Damaged;
}

bool SettingsStore::hasKey(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return tree_.count(text::foldCase(normaliseKey(key))) != 0;
}

std::optional<SettingsValue> SettingsStore::value(std::string_view key,
                                                  std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto k = tree_.find(text::foldCase(normaliseKey(key)));
    if (k == tree_.end())
        return std::nullopt;
    auto v = k->second.values.find(text::foldCase(name));
    if (v == k->second.values.end())
        return std::nullopt;
    return v->second.value;
}

std::uint32_t SettingsStore::readDword(std::string_view key, std::string_view name,
                                       std::uint32_t def) const {
    auto v = value(key, name);
    if (!v)
        return def;
    if (auto* d = std::get_if<std::uint32_t>(&*v))
        return *d;
    return def;
}

std::int32_t SettingsStore::readInt(std::string_view key, std::string_view name,
                                    std::int32_t def) const {
    return static_cast<std::int32_t>(readDword(key, name, static_cast<std::uint32_t>(def)));
}

std::string SettingsStore::readString(std::string_view key, std::string_view name,
                                      std::string_view def) const {
    auto v = value(key, name);
    if (v) {
        if (auto* s = std::get_if<std::string>(&*v))
            return *s;
    }
    return std::string(def);
}

std::optional<std::vector<std::uint8_t>> SettingsStore::readBinary(std::string_view key,
                                                                   std::string_view name) const {
    auto v = value(key, name);
    if (v) {
        if (auto* b = std::get_if<std::vector<std::uint8_t>>(&*v))
            return *b;
    }
    return std::nullopt;
}

std::vector<std::string> SettingsStore::subkeys(std::string_view key) const {
    std::lock_guard lock(mutex_);
    const std::string folded = text::foldCase(normaliseKey(key));
    std::vector<std::string> out;
    const std::string prefix = folded + "\\";
    for (auto it = tree_.lower_bound(prefix); it != tree_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        const std::string rest = it->second.path.substr(prefix.size());
        if (rest.find('\\') == std::string::npos)
            out.push_back(rest);
    }
    return out;
}

std::vector<std::string> SettingsStore::valueNames(std::string_view key) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    auto k = tree_.find(text::foldCase(normaliseKey(key)));
    if (k == tree_.end())
        return out;
    for (const auto& [f, e] : k->second.values)
        out.push_back(e.name);
    return out;
}

bool SettingsStore::setValue(std::string_view key, std::string_view name, SettingsValue v) {
    if (!writable_)
        return false;
    const std::string k = normaliseKey(key);
    if (k.empty())
        return false;
    std::lock_guard lock(mutex_);
    Change c{Change::Set, k, std::string(name), std::move(v)};
    apply(tree_, c);
    pending_.push_back(std::move(c));
    return true;
}

bool SettingsStore::setDword(std::string_view key, std::string_view name, std::uint32_t v) {
    return setValue(key, name, v);
}
bool SettingsStore::setInt(std::string_view key, std::string_view name, std::int32_t v) {
    return setValue(key, name, static_cast<std::uint32_t>(v));
}
bool SettingsStore::setString(std::string_view key, std::string_view name, std::string_view v) {
    return setValue(key, name, std::string(v));
}
bool SettingsStore::setBinary(std::string_view key, std::string_view name,
                              std::vector<std::uint8_t> v) {
    return setValue(key, name, std::move(v));
}

bool SettingsStore::createKey(std::string_view key) {
    if (!writable_)
        return false;
    const std::string k = normaliseKey(key);
    if (k.empty())
        return false;
    std::lock_guard lock(mutex_);
    Change c{Change::CreateKey, k, {}, {}};
    apply(tree_, c);
    pending_.push_back(std::move(c));
    return true;
}

bool SettingsStore::deleteValue(std::string_view key, std::string_view name) {
    if (!writable_)
        return false;
    std::lock_guard lock(mutex_);
    Change c{Change::DeleteValue, normaliseKey(key), std::string(name), {}};
    apply(tree_, c);
    pending_.push_back(std::move(c));
    return true;
}

bool SettingsStore::deleteKey(std::string_view key) {
    if (!writable_)
        return false;
    const std::string k = normaliseKey(key);
    if (k.empty())
        return false;
    std::lock_guard lock(mutex_);
    Change c{Change::DeleteKey, k, {}, {}};
    apply(tree_, c);
    pending_.push_back(std::move(c));
    return true;
}

bool SettingsStore::hasPendingChanges() const {
    std::lock_guard lock(mutex_);
    return !pending_.empty();
}

std::string SettingsStore::serialize() const {
    std::lock_guard lock(mutex_);
    return serialize(tree_);
}

Status SettingsStore::flush() {
    if (!writable_)
        return Status::failure("настройки доступны только для чтения");
    std::lock_guard lock(mutex_);
    if (pending_.empty())
        return {};
    if (!paths::ensureFolder(file_.parent_path()))
        return Status::failure("не удаётся создать папку " + file_.parent_path().string());
    FileLock fileLock(file_);
    // Start from what is on disk now: another program may have changed other
    // values since this one loaded the file.
    Tree merged;
    if (auto content = readWholeFile(file_)) {
        if (Result<Tree> onDisk = parse(*content))
            merged = std::move(onDisk).value();
        else
            merged = tree_;  // damaged on disk: our own view is the better base
    }
    for (const auto& c : pending_)
        apply(merged, c);
    if (Status written = paths::writeFileAtomically(file_, serialize(merged)); !written)
        return written;
    tree_ = std::move(merged);
    pending_.clear();
    return {};
}

SettingsStore& userSettings() {
    static SettingsStore store(paths::userSettingsFile(), true);
    static const bool loaded = (store.load(), true);
    (void)loaded;
    return store;
}

SettingsStore& machineSettings() {
    static SettingsStore store(paths::machineSettingsFile(), false);
    static const bool loaded = (store.load(), true);
    (void)loaded;
    return store;
}

std::vector<std::string> settingsLoadWarnings() {
    std::vector<std::string> warnings;
    for (const SettingsStore* s : {&userSettings(), &machineSettings()}) {
        if (!s->loadWarning().empty())
            warnings.push_back(s->loadWarning());
    }
    return warnings;
}

}  // namespace zelmora
