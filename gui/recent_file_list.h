#pragma once
// The chromatograms opened last, newest first, as the "Файл" menu lists
// them: at most four, each file once, kept in the user's settings under
// "Recent File List" with the values "File1" to "File4" as the framework
// keeps its list. The list reaches the settings file when the store is next
// flushed (at the latest with the options at exit).

#include <filesystem>
#include <vector>

namespace zelmora {
class SettingsStore;
}

namespace zelmora::gui {

class RecentFileList {
  public:
    static constexpr int kDefaultSize = 4;
    static constexpr const char* kSection = "Recent File List";

    explicit RecentFileList(SettingsStore& store, int size = kDefaultSize);

    // Reads the list from the store; empty values and repeated files are skipped.
    void load();
    // Puts `path` (made absolute) first; an entry for the same file moves up,
    // the oldest entry falls off. Saved into the store at once.
    void add(const std::filesystem::path& path);
    // Removes the file (one that could not be opened); saved at once.
    void remove(const std::filesystem::path& path);

    const std::vector<std::filesystem::path>& files() const { return files_; }
    int size() const { return size_; }

  private:
    void save();
    static std::filesystem::path normalised(const std::filesystem::path& path);

    SettingsStore& store_;
    int size_;
    std::vector<std::filesystem::path> files_;
};

}  // namespace zelmora::gui
