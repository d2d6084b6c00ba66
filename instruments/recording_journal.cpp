#include "instruments/recording_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "app/paths.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/stg_file.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "ZRJ1\n";
constexpr std::uint8_t kInfo = 1;
constexpr std::uint8_t kPassport = 2;
constexpr std::uint8_t kPoints = 3;
constexpr std::uint8_t kRunTime = 4;
constexpr std::uint8_t kEnd = 5;
// A record longer than this is damage, not data (an hour at 200 points/s
// flushed once a second is 800 bytes a record).
constexpr std::uint32_t kMaxRecord = 64u << 20;

std::uint32_t check(std::uint8_t type, std::string_view payload) {
    std::uint32_t h = 2166136261u;
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    mix(type);
    for (char c : payload)
        mix(static_cast<unsigned char>(c));
    return h;
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t getU32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

std::string oneLine(std::string s) {
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\r', ' ');
    return s;
}

std::string encodeInfo(const JournalInfo& i) {
    std::string s;
    s += text::format("device=%d\nchannel=%d\n", i.device, i.channel);
    s += "deviceName=" + oneLine(i.deviceName) + "\n";
    s += "method=" + oneLine(i.method) + "\n";
    s += text::format("t0=%.17g\ndt=%.17g\nrunTime=%.17g\n", i.t0, i.dt, i.runTime);
    s += text::format("analysisTime=%lld\n", static_cast<long long>(i.analysisTime));
    s += text::format("seriesTotal=%d\nseriesRemaining=%d\n", i.seriesTotal, i.seriesRemaining);
    return s;
}

bool decodeInfo(std::string_view payload, JournalInfo& info) {
    std::map<std::string, std::string> v;
    std::istringstream in{std::string(payload)};
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            v[line.substr(0, eq)] = line.substr(eq + 1);
    }
    auto num = [&](const char* key, double& out) {
        const auto it = v.find(key);
        if (it == v.end())
            return false;
        const auto d = text::parseDouble(it->second);
        if (!d || !std::isfinite(*d))
            return false;
        out = *d;
        return true;
    };
    double device = 0, channel = 0, at = 0, total = 1, remaining = 1;
    if (!num("device", device) || !num("channel", channel) || !num("dt", info.dt) ||
        !num("t0", info.t0) || !num("runTime", info.runTime) || !num("analysisTime", at))
        return false;
    num("seriesTotal", total);
    num("seriesRemaining", remaining);
    if (device < 0 || device > 99 || channel < 0 || channel > 99 || !(info.dt > 0))
        return false;
    info.device = static_cast<int>(device);
    info.channel = static_cast<int>(channel);
    info.analysisTime = static_cast<std::time_t>(at);
    info.seriesTotal = static_cast<int>(total);
    info.seriesRemaining = static_cast<int>(remaining);
    info.deviceName = v["deviceName"];
    info.method = v["method"];
    return true;
}

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

RecordingJournal::RecordingJournal(fs::path path, int fd) : path_(std::move(path)), fd_(fd) {}

RecordingJournal::~RecordingJournal() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        writeBuffered();
        ::close(fd_);
    }
}

fs::path RecordingJournal::folderIn(const fs::path& dataFolder) {
    return dataFolder / "Recovery";
}

Result<std::unique_ptr<RecordingJournal>> RecordingJournal::create(const fs::path& folder,
                                                                   const JournalInfo& info,
                                                                   const Passport& passport) {
    if (!paths::ensureFolder(folder))
        return Status::failure("не удалось создать папку " + folder.string());
    // The name tells device, channel and start; a name already taken (two
    // recordings of one channel in one second) gets a number.
    const std::string stem = text::format("rec-%d-%d-%lld", info.device + 1, info.channel + 1,
                                          static_cast<long long>(info.analysisTime));
    fs::path path;
    int fd = -1;
    for (int n = 0; n < 1000 && fd < 0; ++n) {
        path = folder / (n == 0 ? stem + ".zrj" : stem + text::format("-%d.zrj", n));
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            return Status::failure(path.string() + ": " + std::strerror(errno));
    }
    if (fd < 0)
        return Status::failure("не удалось создать журнал записи в " + folder.string());
    std::unique_ptr<RecordingJournal> j(new RecordingJournal(path, fd));
    {
        std::lock_guard lock(j->mutex_);
        j->buffer_ = std::string(kMagic);
        j->appendRecord(kInfo, encodeInfo(info));
        j->appendRecord(kPassport, stg::encodePassport(passport));
    }
    if (Status s = j->flush(); !s) {
        j->remove();
        return s;
    }
    return j;
}

void RecordingJournal::appendRecord(std::uint8_t type, std::string_view payload) {
    buffer_.push_back(static_cast<char>(type));
    putU32(buffer_, static_cast<std::uint32_t>(payload.size()));
    buffer_.append(payload);
    putU32(buffer_, check(type, payload));
}

void RecordingJournal::appendPoints(const float* points, std::size_t count) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        pendingPoints_.insert(pendingPoints_.end(), points, points + count);
}

void RecordingJournal::appendPassport(const Passport& passport) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        appendRecord(kPassport, stg::encodePassport(passport));
}

void RecordingJournal::appendRunTime(double minutes) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        appendRecord(kRunTime, text::format("%.17g", minutes));
}

void RecordingJournal::appendEnd(bool interrupted) {
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return;
        // The points before the end record.
        writeBuffered();
        appendRecord(kEnd, interrupted ? "interrupted" : "completed");
    }
    flush();
}

Status RecordingJournal::writeBuffered() {
    if (!pendingPoints_.empty()) {
        std::string payload(pendingPoints_.size() * sizeof(float), '\0');
        // Little-endian floats, as the chromatogram file stores them.
        for (std::size_t i = 0; i < pendingPoints_.size(); ++i) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, &pendingPoints_[i], sizeof bits);
            for (int b = 0; b < 4; ++b)
                payload[i * 4 + static_cast<std::size_t>(b)] =
                    static_cast<char>((bits >> (8 * b)) & 0xFF);
        }
        pendingPoints_.clear();
        appendRecord(kPoints, payload);
    }
    if (buffer_.empty() || fd_ < 0)
        return {};
    if (const int err = paths::writeAll(fd_, buffer_); err != 0) {
        // What was not written stays in the buffer for the next try; a
        // partly written record is cut off by the reader.
        if (!failed_)
            CWorkLog::instance().write("! Журнал записи " + path_.string() + ": " +
                                       std::strerror(err));
        failed_ = true;
        return Status::failure(path_.string() + ": " + std::strerror(err));
    }
    buffer_.clear();
    failed_ = false;
    return {};
}

void RecordingJournal::flushIfDue(std::int64_t nowMs) {
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0 || nowMs - lastFlushMs_ < kFlushPeriodMs)
            return;
    }
    flush();
}

Status RecordingJournal::flush() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return {};
    lastFlushMs_ = steadyMs();
    if (Status s = writeBuffered(); !s)
        return s;
    if (::fdatasync(fd_) != 0)
        return Status::failure(path_.string() + ": " + std::strerror(errno));
    return {};
}

void RecordingJournal::remove() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    pendingPoints_.clear();
    std::error_code ec;
    fs::remove(path_, ec);
}

std::vector<fs::path> RecordingJournal::list(const fs::path& folder) {
    std::vector<std::pair<fs::file_time_type, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".zrj" && it->is_regular_file(ec))
            found.emplace_back(it->last_write_time(ec), it->path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> out;
    for (auto& f : found)
        out.push_back(std::move(f.second));
    return out;
}

Result<JournalContents> RecordingJournal::read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Status::failure("не удалось открыть " + path.string());
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse(bytes, path.string());
}

Result<JournalContents> RecordingJournal::parse(std::string_view bytes, const std::string& name) {
    if (bytes.substr(0, kMagic.size()) != kMagic)
        return Status::failure(name + ": это не журнал записи");
    JournalContents c;
    bool haveInfo = false;
    std::size_t pos = kMagic.size();
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 9) {
            c.tornTail = true;
            break;
        }
        const auto type = static_cast<std::uint8_t>(bytes[pos]);
        const std::uint32_t length = getU32(bytes.data() + pos + 1);
        if (length > kMaxRecord || bytes.size() - pos - 9 < length) {
            c.tornTail = true;
            break;
        }
        const std::string_view payload(bytes.data() + pos + 5, length);
        if (getU32(bytes.data() + pos + 5 + length) != check(type, payload)) {
            c.tornTail = true;
            break;
        }
        pos += 9 + length;
        switch (type) {
            case kInfo:
                haveInfo = decodeInfo(payload, c.info) || haveInfo;
                break;
            case kPassport: {
                Passport p;
                if (stg::decodePassport(payload, p)) {
                    c.passport = p;
                    c.hasPassport = true;
                }
                break;
            }
            case kPoints: {
                if (length % 4 != 0)
                    break;
                for (std::size_t i = 0; i < length; i += 4) {
                    const std::uint32_t bits = getU32(payload.data() + i);
                    float f = 0;
                    std::memcpy(&f, &bits, sizeof f);
                    c.points.push_back(f);
                }
                break;
            }
            case kRunTime:
                if (const auto d = text::parseDouble(std::string(payload)); d && *d > 0)
                    c.info.runTime = *d;
                break;
            case kEnd:
                c.ended = true;
                c.interrupted = payload != "completed";
                break;
            default:
                break;  // a record of a later version
        }
    }
    if (!haveInfo)
        return Status::failure(name + ": журнал записи без описания записи");
    return c;
}

}  // namespace zelmora
