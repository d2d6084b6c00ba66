#include "app/work_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/paths.h"
#include "app/text.h"

namespace zelmora {
namespace {

// Line feeds not preceded by a carriage return become CR LF.
std::string toLogBytes(std::string_view utf8) {
    const std::string cp = text::toCp1251(utf8);
    std::string out;
    out.reserve(cp.size() + 8);
    for (std::size_t i = 0; i < cp.size(); ++i) {
        if (cp[i] == '\n' && (i == 0 || cp[i - 1] != '\r'))
            out += '\r';
        out += cp[i];
    }
    return out;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

}  // namespace

CWorkLog::~CWorkLog() {
    if (active())
        stop();
}

CWorkLog& CWorkLog::instance() {
    static CWorkLog log;
    return log;
}

std::filesystem::path CWorkLog::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

bool CWorkLog::active() const {
    return active_.load();
}

void CWorkLog::start(const std::filesystem::path& folder, std::string_view versionText,
                     std::string_view buildDate) {
    const std::filesystem::path dir = folder.empty() ? paths::defaultLogFolder() : folder;
    paths::ensureFolder(dir);
    trim(dir / kFileName, dir / kRotationName);
    {
        std::lock_guard lock(mutex_);
        path_ = dir / kFileName;
    }
    active_.store(true);
    std::string line = ". Программа запущена - версия ";
    line += versionText;
    line += " от ";
    line += buildDate;
    write(line);
}

void CWorkLog::stop() {
    if (!active())
        return;
    write(". Программа остановлена\r\n-------------------------------------------------");
    std::lock_guard lock(mutex_);
    path_.clear();
    active_.store(false);
}

std::uint64_t CWorkLog::write(std::string_view message) noexcept {
    return put(message, true);
}

void CWorkLog::append(std::string_view text) noexcept {
    put(text, false);
}

bool CWorkLog::appendTo(std::uint64_t entry, std::string_view text) noexcept {
    return entry != 0 && put(text, false, entry) != 0;
}

std::uint64_t CWorkLog::put(std::string_view message, bool stamped,
                            std::uint64_t onlyAfter) noexcept {
    try {
        return putOrThrow(message, stamped, onlyAfter);
    } catch (...) {
        // The entry is lost; the work it describes must go on.
        return 0;
    }
}

std::uint64_t CWorkLog::putOrThrow(std::string_view message, bool stamped,
                                   std::uint64_t onlyAfter) {
    if (!active_.load())
        return 0;
    // Conversion happens before the lock is taken; inside it only the file is
    // touched.
    const std::string body = toLogBytes(message);
    std::lock_guard lock(mutex_);
    if (path_.empty() || (onlyAfter != 0 && onlyAfter != entries_))
        return 0;
    std::string bytes;
    if (stamped) {
        std::time_t now = fixedTime_.load();
        if (now == 0)
            now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "\r\n%02d/%02d/%04d %02d:%02d:%02d ", tm.tm_mday,
                      tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
        bytes = stamp;
    }
    bytes += body;
    Fd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return 0;
    // One write() call per entry: O_APPEND keeps it whole even against other
    // processes appending to the same file.
    if (!writeAll(fd.get(), bytes))
        return 0;
    if (stamped)
        ++entries_;
    return entries_;
}

void CWorkLogSource::write(std::string_view message) noexcept {
    std::lock_guard lock(mutex_);
    entry_ = log_.write(message);
    try {
        text_.assign(message);
    } catch (...) {
        text_.clear();
    }
}

void CWorkLogSource::append(std::string_view text) noexcept {
    std::lock_guard lock(mutex_);
    try {
        if (!log_.appendTo(entry_, text)) {
            // Another entry came in between: this one's line again, whole.
            entry_ = log_.write(text_ + std::string(text));
        }
        text_ += text;
    } catch (...) {
        // The continuation is lost; the work goes on.
    }
}

bool CWorkLog::trim(const std::filesystem::path& log, const std::filesystem::path& rotation,
                    std::uint64_t cap) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(log, ec);
    if (ec || size < cap)
        return false;

    std::filesystem::remove(rotation, ec);
    std::filesystem::rename(log, rotation, ec);
    if (ec)
        return false;
    auto restore = [&] {
        std::error_code e;
        std::filesystem::remove(log, e);
        std::filesystem::rename(rotation, log, e);
        return false;
    };

    Fd in(::open(rotation.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return restore();
    // The kept part starts after the last line feed at or before the cut, so
    // no partial first line remains; without one, at the cut itself.
    const std::uint64_t cut = size - cap;
    std::uint64_t from = cut;
    {
        std::vector<char> block(64 * 1024);
        std::uint64_t end = cut + 1;
        bool found = false;
        while (end > 0 && !found) {
            const std::uint64_t begin = end > block.size() ? end - block.size() : 0;
            const ssize_t n =
                ::pread(in.get(), block.data(), end - begin, static_cast<off_t>(begin));
            if (n != static_cast<ssize_t>(end - begin))
                return restore();
            for (std::uint64_t i = end - begin; i-- > 0;) {
                if (block[i] == '\n') {
                    from = begin + i + 1;
                    found = true;
                    break;
                }
            }
            end = begin;
        }
    }

    Fd out(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return restore();
    std::vector<char> buf(1 << 20);
    off_t offset = static_cast<off_t>(from);
    while (true) {
        const ssize_t n = ::pread(in.get(), buf.data(), buf.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return restore();
        }
        if (n == 0)
            break;
        if (!writeAll(out.get(), std::string_view(buf.data(), static_cast<std::size_t>(n))))
            return restore();
        offset += n;
    }
    if (::fsync(out.get()) != 0 || !out.close())
        return restore();
    std::filesystem::remove(rotation, ec);
    return true;
}

}  // namespace zelmora
