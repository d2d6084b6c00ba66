#pragma once
// The recording's safety copy: while a channel records, every point it
// writes also goes into a small journal file in the "Recovery" folder of the
// user's data folder, so that a program killed or a machine switched off in
// the middle of an analysis loses at most the last second of it. The next
// start of the program (or `zelmora-cli recover`) finds the journal and
// turns it into a chromatogram marked as interrupted.
//
// The file is only ever appended to: a header "ZRJ1\n", then records
// [type u8][length u32 LE][payload][check u32 LE] (the check is FNV-1a of
// type and payload). Records: the recording's description (text lines
// "key=value"), the passport (the chromatogram file's passport stream), a
// run of points (32-bit floats), a new run time, and the end of the
// recording. A reader stops at the first record that is cut short or does
// not check, keeping everything before it: a torn tail never spoils what
// was written whole.
//
// Points are buffered and written with the description records at most a
// second apart (flushIfDue) and forced to the disk with fdatasync. The
// finished recording removes its journal only after its chromatogram file
// has been written.
//
// Threads: the channel's reader thread appends points, the interface thread
// writes the passport, flushes on its timer and removes the file; mutex_
// guards the descriptor and the buffer.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/result.h"
#include "document/passport.h"

namespace zelmora {

// What a journal says about its recording.
struct JournalInfo {
    int device = 0;   // 0-based device index
    int channel = 0;  // 0-based channel index
    std::string deviceName;
    std::string method;
    double t0 = 0;       // time of point 0, min
    double dt = 0;       // point step, min
    double runTime = 0;  // min
    std::time_t analysisTime = 0;
    int seriesTotal = 1;
    int seriesRemaining = 1;
};

struct JournalContents {
    JournalInfo info;
    Passport passport;
    bool hasPassport = false;
    std::vector<float> points;
    bool ended = false;       // the recording stopped before the program did
    bool interrupted = true;  // as the end record says; true without one
    bool tornTail = false;    // bytes after the last whole record were ignored
};

class RecordingJournal {
  public:
    static constexpr std::int64_t kFlushPeriodMs = 1000;

    ~RecordingJournal();
    RecordingJournal(const RecordingJournal&) = delete;
    RecordingJournal& operator=(const RecordingJournal&) = delete;

    // The folder of the journals below the data folder.
    static std::filesystem::path folderIn(const std::filesystem::path& dataFolder);
    // Creates the journal of a recording that starts now, with its
    // description and passport written and flushed.
    static Result<std::unique_ptr<RecordingJournal>> create(const std::filesystem::path& folder,
                                                            const JournalInfo& info,
                                                            const Passport& passport);

    const std::filesystem::path& path() const { return path_; }

    void appendPoints(const float* points, std::size_t count);
    void appendPassport(const Passport& passport);
    void appendRunTime(double minutes);
    void appendEnd(bool interrupted);
    // Writes the buffer when the last write is a second old (steady clock).
    void flushIfDue(std::int64_t nowMs);
    // Writes the buffer and forces it to the disk; a failure says why (the
    // journal then keeps trying at the next flush).
    Status flush();
    // Closes and deletes the file; after this nothing more is written.
    void remove();

    // The journals waiting in a folder, oldest first.
    static std::vector<std::filesystem::path> list(const std::filesystem::path& folder);
    // Reads a journal; a file that is not one is a failure saying why.
    static Result<JournalContents> read(const std::filesystem::path& path);
    // The same from the bytes of a journal; `name` names it in failures.
    static Result<JournalContents> parse(std::string_view bytes, const std::string& name);

  private:
    RecordingJournal(std::filesystem::path path, int fd);
    void appendRecord(std::uint8_t type, std::string_view payload);  // caller holds mutex_
    Status writeBuffered();                                          // caller holds mutex_

    const std::filesystem::path path_;
    std::mutex mutex_;  // guards everything below
    int fd_ = -1;
    std::string buffer_;
    std::vector<float> pendingPoints_;
    std::int64_t lastFlushMs_ = 0;
    bool failed_ = false;  // the last write failed; logged once
};

}  // namespace zelmora
