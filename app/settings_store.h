#pragma once
// The program's key-value store in place of the system registry: a tree of
// keys ("Software\Quendal\Zelmora\ADC_0") holding named values of three kinds
// (DWORD, string, binary), kept in one text file per scope. Key and value
// names are matched without regard to case, as the registry does.
//
// Changes are kept in memory and reach the file on flush(), which re-reads
// the file, applies only this process's own changes and replaces the file
// atomically, so that two programs sharing one store do not overwrite each
// other's values with stale copies.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/result.h"

namespace zelmora {

inline constexpr const char* kRootKey = "Software\\Quendal\\Zelmora";

using SettingsValue = std::variant<std::uint32_t, std::string, std::vector<std::uint8_t>>;

class SettingsStore {
  public:
    SettingsStore(std::filesystem::path file, bool writable);

    enum class LoadStatus { Loaded, Missing, Damaged };
    // Reads the file. A missing file gives an empty store; a damaged one an
    // empty store too, with the file renamed aside (never overwritten) and the
    // reason kept in loadWarning().
    LoadStatus load();
    const std::string& loadWarning() const { return loadWarning_; }
    const std::filesystem::path& file() const { return file_; }

    bool hasKey(std::string_view key) const;
    std::optional<SettingsValue> value(std::string_view key, std::string_view name) const;
    // Typed reads: a value that is missing or of another kind reads as `def`.
    std::uint32_t readDword(std::string_view key, std::string_view name, std::uint32_t def) const;
    std::int32_t readInt(std::string_view key, std::string_view name, std::int32_t def) const;
    std::string readString(std::string_view key, std::string_view name,
                           std::string_view def = {}) const;
    std::optional<std::vector<std::uint8_t>> readBinary(std::string_view key,
                                                        std::string_view name) const;
    // Names of the direct subkeys and of the values of a key, in stored order
    // of their case-folded names.
    std::vector<std::string> subkeys(std::string_view key) const;
    std::vector<std::string> valueNames(std::string_view key) const;

    // Writes are refused (false) on a read-only scope.
    bool setValue(std::string_view key, std::string_view name, SettingsValue v);
    bool setDword(std::string_view key, std::string_view name, std::uint32_t v);
    bool setInt(std::string_view key, std::string_view name, std::int32_t v);
    bool setString(std::string_view key, std::string_view name, std::string_view v);
    bool setBinary(std::string_view key, std::string_view name, std::vector<std::uint8_t> v);
    bool createKey(std::string_view key);
    bool deleteValue(std::string_view key, std::string_view name);
    // Deletes the key with all its subkeys and values.
    bool deleteKey(std::string_view key);

    // Merges this process's changes into the file and replaces it atomically.
    // A failure says why the file cannot be written; the changes then stay
    // pending for the next flush.
    Status flush();
    bool hasPendingChanges() const;

    // Text form of the whole store (the file content).
    std::string serialize() const;

  private:
    struct Entry {
        std::string name;  // as written, for display
        SettingsValue value;
    };
    struct Key {
        std::string path;                     // as written
        std::map<std::string, Entry> values;  // by case-folded name
    };
    using Tree = std::map<std::string, Key>;  // by case-folded full path

    struct Change {
        enum Kind { Set, DeleteValue, CreateKey, DeleteKey } kind;
        std::string key;
        std::string name;
        SettingsValue value;
    };

    static std::string normaliseKey(std::string_view key);
    static Result<Tree> parse(std::string_view text);
    static std::string serialize(const Tree& tree);
    static void apply(Tree& tree, const Change& c);
    static Key& ensureKey(Tree& tree, const std::string& path);

    std::filesystem::path file_;
    bool writable_;
    std::string loadWarning_;
    mutable std::mutex mutex_;  // guards tree_ and pending_
    Tree tree_;
    std::vector<Change> pending_;
};

// The two scopes of this process, loaded on first use from the files that
// paths::userSettingsFile() and paths::machineSettingsFile() name.
SettingsStore& userSettings();
SettingsStore& machineSettings();
// What loading the two scopes had to say (a damaged file put aside), for the
// work log and the person starting the program; empty when both were fine.
std::vector<std::string> settingsLoadWarnings();

}  // namespace zelmora
