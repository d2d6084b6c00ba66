#include "app/temporary_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "app/paths.h"

namespace zelmora {

namespace fs = std::filesystem;

fs::path temporaryFolder() {
    const char* v = std::getenv("TMPDIR");
    std::error_code ec;
    if (v != nullptr && v[0] != '\0' && fs::is_directory(v, ec))
        return fs::path(v);
    return fs::path("/tmp");
}

Result<TemporaryFile> TemporaryFile::create(std::string_view content, std::string_view prefix,
                                            std::string_view suffix, const fs::path& folder) {
    auto fail = [](int err) -> Result<TemporaryFile> {
        return Status::failure(std::strerror(err));
    };
    const fs::path dir = folder.empty() ? temporaryFolder() : folder;
    std::string name = (dir / (std::string(prefix) + "XXXXXX" + std::string(suffix))).string();
    // mkstemps creates the file with O_EXCL under the final name, suffix
    // included, so no other program can slip in between naming and creating.
    const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        return fail(errno);
    TemporaryFile file{fs::path(name)};  // removes the file on every failure below
    if (const int err = paths::writeAll(fd, content); err != 0) {
        ::close(fd);
        return fail(err);
    }
    if (::close(fd) != 0)
        return fail(errno);
    return file;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::exchange(other.path_, {})) {}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

TemporaryFile::~TemporaryFile() {
    remove();
}

void TemporaryFile::remove() {
    if (path_.empty())
        return;
    ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace zelmora
