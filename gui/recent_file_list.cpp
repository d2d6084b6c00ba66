#include "gui/recent_file_list.h"

#include <algorithm>

#include "app/settings_store.h"
#include "app/text.h"

namespace zelmora::gui {
namespace fs = std::filesystem;

namespace {
std::string sectionKey() {
    return std::string(kRootKey) + "\\" + RecentFileList::kSection;
}
std::string valueName(int i) {
    return text::format("File%d", i + 1);
}
}  // namespace

RecentFileList::RecentFileList(SettingsStore& store, int size)
    : store_(store), size_(std::max(1, size)) {}

fs::path RecentFileList::normalised(const fs::path& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec)
        p = path;
    return p.lexically_normal();
}

void RecentFileList::load() {
    files_.clear();
    const std::string key = sectionKey();
    for (int i = 0; i < size_; ++i) {
        const std::string value = store_.readString(key, valueName(i));
        if (value.empty())
            continue;
        const fs::path p = normalised(fs::path(value));
        if (std::find(files_.begin(), files_.end(), p) == files_.end())
            files_.push_back(p);
    }
}

void RecentFileList::add(const fs::path& path) {
    const fs::path p = normalised(path);
    std::erase(files_, p);
    files_.insert(files_.begin(), p);
    if (static_cast<int>(files_.size()) > size_)
        files_.resize(static_cast<std::size_t>(size_));
    save();
}

void RecentFileList::remove(const fs::path& path) {
    const fs::path p = normalised(path);
    if (std::erase(files_, p) > 0)
        save();
}

void RecentFileList::save() {
    const std::string key = sectionKey();
    for (int i = 0; i < size_; ++i) {
        if (i < static_cast<int>(files_.size()))
            store_.setString(key, valueName(i), files_[static_cast<std::size_t>(i)].string());
        else if (store_.value(key, valueName(i)))
            store_.deleteValue(key, valueName(i));
    }
}

}  // namespace zelmora::gui
