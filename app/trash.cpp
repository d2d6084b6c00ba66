#include "app/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "app/paths.h"
#include "app/text.h"

namespace zelmora {
namespace fs = std::filesystem;
namespace {

bool deviceOf(const fs::path& p, dev_t& dev) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        return false;
    dev = st.st_dev;
    return true;
}

// The folder with its "files" and "info", made private to the user as the
// trash's rules ask; false when it cannot be made or is no folder.
bool prepareTrash(const fs::path& root) {
    for (const fs::path& p : {root, root / "files", root / "info"}) {
        if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
    }
    return true;
}

// The top folder of the volume that holds `p`: the last parent on the
// same device.
fs::path volumeTop(const fs::path& p, dev_t dev) {
    fs::path top = p;
    for (fs::path up = p.parent_path(); !up.empty(); up = up.parent_path()) {
        dev_t d = 0;
        if (!deviceOf(up, d) || d != dev)
            break;
        top = up;
        if (up == up.root_path())
            break;
    }
    return top;
}

}  // namespace

std::string trashInfoPath(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) != 0 && c < 0x80)
            out += ch;
        else if (std::strchr("-_.!~*'()/", ch) != nullptr && ch != '\0')
            out += ch;
        else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::optional<fs::path> trashFolderFor(const fs::path& file) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    dev_t fileDev = 0;
    if (ec || !deviceOf(absolute.parent_path(), fileDev))
        return std::nullopt;
    const fs::path home = paths::homeTrashFolder();
    if (paths::ensureFolder(home.parent_path()) && prepareTrash(home)) {
        dev_t homeDev = 0;
        if (deviceOf(home / "files", homeDev) && homeDev == fileDev)
            return home;
    }
    // Tests and portable use keep to their own folder: no trash of a volume.
    if (!paths::homeOverride().empty())
        return std::nullopt;
    const fs::path volume = volumeTop(absolute.parent_path(), fileDev) /
                            text::format(".Trash-%u", static_cast<unsigned>(::getuid()));
    dev_t volumeDev = 0;
    if (prepareTrash(volume) && deviceOf(volume / "files", volumeDev) && volumeDev == fileDev)
        return volume;
    return std::nullopt;
}

Result<fs::path> moveToTrash(const fs::path& file, std::time_t now) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec).lexically_normal();
    struct stat st {};
    if (ec || ::lstat(absolute.c_str(), &st) != 0)
        return Status::failure(file.filename().string() + ": " + std::strerror(errno));
    const std::optional<fs::path> root = trashFolderFor(absolute);
    if (!root)
        return Status::failure(file.filename().string() + ": корзина недоступна");
    // The home trash keeps absolute paths, a volume's trash paths from the
    // volume's top.
    std::string original = absolute.string();
    if (*root != paths::homeTrashFolder())
        original = absolute.lexically_relative(root->parent_path()).string();
    char when[32] = {};
    struct tm local {};
    ::localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + trashInfoPath(original) + "\nDeletionDate=" + when + "\n";

    const std::string stem = absolute.stem().string();
    const std::string ext = absolute.extension().string();
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? absolute.filename().string()
                                        : text::format("%s.%d%s", stem.c_str(), n, ext.c_str());
        const fs::path infoFile = *root / "info" / (name + ".trashinfo");
        // The information file is made first and exclusively: it reserves the
        // name against another program deleting at the same moment.
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Status::failure(file.filename().string() + ": " + std::strerror(errno));
        }
        const int writeError = paths::writeAll(fd, info);
        const int closeError = ::close(fd) != 0 ? errno : 0;
        const fs::path target = *root / "files" / name;
        if (writeError == 0 && closeError == 0 && !fs::exists(target, ec) &&
            ::rename(absolute.c_str(), target.c_str()) == 0)
            return target;
        const int e = writeError != 0 ? writeError : closeError != 0 ? closeError : errno;
        ::unlink(infoFile.c_str());
        if (fs::exists(target, ec))
            continue;
        return Status::failure(file.filename().string() + ": " + std::strerror(e));
    }
    return Status::failure(file.filename().string() + ": в корзине нет свободного имени");
}

}  // namespace zelmora
