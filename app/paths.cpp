#include "app/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "app/version.h"

namespace zelmora::paths {
namespace {

fs::path envFolder(const char* name, const fs::path& fallbackBelowHome) {
    const char* v = std::getenv(name);
    if (v != nullptr && v[0] == '/')
        return fs::path(v);
    const char* home = std::getenv("HOME");
    fs::path base = (home != nullptr && home[0] != '\0') ? fs::path(home) : fs::path("/tmp");
    return base / fallbackBelowHome;
}

fs::path dataRoot() {
    const fs::path home = homeOverride();
    if (!home.empty())
        return home;
    return envFolder("XDG_DATA_HOME", ".local/share") / "zelmora";
}

}  // namespace

fs::path homeOverride() {
    const char* v = std::getenv("ZELMORA_HOME");
    if (v == nullptr || v[0] == '\0')
        return {};
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(v), ec);
    return ec ? fs::path(v) : p;
}

fs::path homeTrashFolder() {
    const fs::path home = homeOverride();
    if (!home.empty())
        return home / "Trash";
    return envFolder("XDG_DATA_HOME", ".local/share") / "Trash";
}

fs::path userSettingsFile() {
    const fs::path home = homeOverride();
    if (!home.empty())
        return home / "user.reg";
    return envFolder("XDG_CONFIG_HOME", ".config") / "zelmora" / "user.reg";
}

fs::path machineSettingsFile() {
    const fs::path home = homeOverride();
    if (!home.empty())
        return home / "machine.reg";
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = (dirs != nullptr && dirs[0] == '/') ? std::string(dirs) : "/etc/xdg";
    first = first.substr(0, first.find(':'));
    return fs::path(first) / "zelmora" / "machine.reg";
}

fs::path defaultLogFolder() {
    const fs::path home = homeOverride();
    if (!home.empty())
        return home;
    return envFolder("XDG_STATE_HOME", ".local/state") / "zelmora";
}

fs::path defaultDataFolder() {
    return dataRoot();
}
fs::path defaultDatabaseFolder() {
    return dataRoot() / "DataBase";
}
fs::path defaultMethodFolder() {
    return dataRoot() / "Methods";
}
fs::path defaultChromatogramFolder() {
    return dataRoot() / "Chromatograms";
}
fs::path defaultCopiesFolder() {
    return dataRoot() / "Copies";
}
fs::path defaultQueueFolder() {
    return dataRoot() / "Queue";
}

fs::path programFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path buildTree(kBuildDir);
    if (!ec) {
        const fs::path exeDir = exe.parent_path();
        // Run from the build tree: use the source tree's share folder.
        auto rel = exeDir.lexically_relative(buildTree);
        if (!rel.empty() && *rel.begin() != "..")
            return fs::path(kSourceDir) / "share";
        const fs::path installed = exeDir.parent_path() / "share" / "zelmora";
        if (fs::is_directory(installed, ec))
            return installed;
    }
    const fs::path source = fs::path(kSourceDir) / "share";
    if (fs::is_directory(source, ec))
        return source;
    return fs::current_path(ec);
}

bool ensureFolder(const fs::path& folder) {
    if (folder.empty())
        return false;
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

int writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

Status writeFileAtomically(const fs::path& target, std::string_view content) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return Status::failure(std::strerror(errno));
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return Status::failure(std::strerror(err));
    };
    if (const int err = writeAll(fd, content); err != 0)
        return fail(err);
    // Keep the permissions of the file being replaced (mkstemp gives 0600).
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        return Status::failure(std::strerror(err));
    }
    if (::rename(tmpl.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpl.c_str());
        return Status::failure(std::strerror(err));
    }
    return {};
}

}  // namespace zelmora::paths
