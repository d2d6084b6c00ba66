#pragma once
// The work log: a plain text file ("Zelmora.log", Windows-1251, CR LF) in
// which the program records with date and time its start and stop, the
// instruments' connections and faults, the progress of runs and the
// operator's destructive actions. Every thread appends through the one
// process-wide instance.
//
// Each entry is "\r\n" + "dd/mm/yyyy hh:mm:ss " + the message; a
// continuation is appended without line break or time stamp. The file is
// opened and closed for every entry, so each entry is on disk when the call
// returns. Failures lose the entry silently: the log never throws and never
// shows a message.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace zelmora {

class CWorkLog {
  public:
    static constexpr std::uint64_t kSizeCap = 20'000'000;
    static constexpr const char* kFileName = "Zelmora.log";
    static constexpr const char* kRotationName = "Zelmora.lo1";

    CWorkLog() = default;
    ~CWorkLog();
    CWorkLog(const CWorkLog&) = delete;
    CWorkLog& operator=(const CWorkLog&) = delete;

    static CWorkLog& instance();

    // Sets the folder ("UserFiles"; empty means the default log folder),
    // trims an oversized log and writes the start line.
    void start(const std::filesystem::path& folder, std::string_view versionText,
               std::string_view buildDate);
    // Writes the stop line and ignores everything after it.
    void stop();

    // One time-stamped entry; the text is UTF-8 and is stored in 1251. Never
    // throws: an entry that cannot be written (no memory, no disk) is lost,
    // and the caller carries on.
    // Returns the entry's number, 0 when it was not written.
    std::uint64_t write(std::string_view message) noexcept;
    // Text appended to the previous entry, with no line break or time stamp.
    void append(std::string_view text) noexcept;
    // Appends to entry `entry` only while it is still the last one; false
    // when another entry came after it (or nothing was written).
    bool appendTo(std::uint64_t entry, std::string_view text) noexcept;

    std::filesystem::path path() const;
    bool active() const;

    // Keeps at least the last `cap` bytes of `log`, beginning at a line
    // start. The old content is moved to `rotation` first and that file is
    // removed only once the kept part has been written and flushed; on any
    // failure the old log is put back. Returns true when the log was trimmed.
    static bool trim(const std::filesystem::path& log, const std::filesystem::path& rotation,
                     std::uint64_t cap = kSizeCap);

    // Tests fix the clock so that entries are reproducible; 0 means real time.
    void setFixedTime(std::time_t t) { fixedTime_.store(t); }

  private:
    // `onlyAfter`: for a continuation, the entry it must follow (0: any).
    std::uint64_t put(std::string_view message, bool stamped, std::uint64_t onlyAfter = 0) noexcept;
    std::uint64_t putOrThrow(std::string_view message, bool stamped, std::uint64_t onlyAfter);

    mutable std::mutex mutex_;  // guards path_, entries_ and every write to the file
    std::filesystem::path path_;
    std::uint64_t entries_ = 0;  // time-stamped entries written so far
    std::atomic<bool> active_{false};
    std::atomic<std::time_t> fixedTime_{0};
};

// The entries of one source whose continuations come later, often from
// another thread: a chromatograph's parameter request, then its answer. A
// continuation that finds another source's entry after its own writes its
// own entry again, whole, with the continuation, so that an answer never
// lands on a stranger's line.
class CWorkLogSource {
  public:
    explicit CWorkLogSource(CWorkLog& log = CWorkLog::instance()) : log_(log) {}
    void write(std::string_view message) noexcept;
    void append(std::string_view text) noexcept;

  private:
    CWorkLog& log_;
    std::mutex mutex_;         // guards entry_ and text_
    std::uint64_t entry_ = 0;  // the source's last entry in the log
    std::string text_;         // its text so far
};

}  // namespace zelmora
