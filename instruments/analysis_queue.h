#pragma once
// The analysis queue: the work list of test tubes that the laboratory's own
// system prepares as XML files ("aq-YYYYMMDD.xml" in the queue folder) and
// that the program works through one sample per recording on one chosen
// channel. The recording of that channel takes the next new entry into the
// chromatogram's passport when it starts and marks it processed when it
// completes; an interrupted recording gives the entry back to be run again.
//
// Between program runs the queue lives in a working copy in the user's data
// folder, written through a temporary file and a rename after every change,
// so that neither a crash nor a full disk loses the list. Files written here
// keep the layout the laboratory system reads: root "Document", one
// "analyse" element per entry numbered by its attribute "n", nine typed
// child elements in a fixed order.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace zelmora {

class SettingsStore;

// States of a queue entry, stored in its "status" element.
enum QueueStatus : std::int32_t {
    kQueueNew = 0,
    kQueueInWork = 1,
    kQueueProcessed = 2,
};

struct QueueEntry {
    std::int32_t id = 0;       // "id": analysis number, "#" in the passport's sample text
    std::int32_t vial = 0;     // "vial": tube number
    std::string info;          // "info": sample text
    std::string comments;      // "comments": the passport comment
    std::string organization;  // "organization": the passport's sampling point
    std::string type;          // "type": tube type
    double sampleMass = 0;     // "MProbe": the passport's sample amount
    double standardMass = 0;   // "MSt": the passport's standard amount
    std::int32_t status = kQueueNew;
    bool selected = false;  // selection in the queue window; never stored

    bool operator==(const QueueEntry&) const = default;
};

// Numbered entries taken from one file: at most this many.
inline constexpr int kQueueMaxEntries = 999;

// What reading a queue file gave: the entries, and what the operator must
// hear about the entries that were not taken (numbering gaps, more than 999).
struct QueueFileContent {
    std::vector<QueueEntry> entries;
    std::vector<std::string> warnings;
};

// Reads queue XML from its bytes. Tolerates namespace declarations on any
// element and prefixed element names, missing data-type attributes, a
// "windows-1251" declaration, decimal commas. A document that is not XML,
// has another root or carries an unreadable number fails with a message
// naming the entry and the element.
Result<QueueFileContent> readQueueXml(std::string_view bytes);
// Writes entries in the layout the laboratory system reads (UTF-8).
std::string writeQueueXml(const std::vector<QueueEntry>& entries);

// "Очередь за сегодня" for a file of today, else "Очередь от DD.MM.YYYY";
// the name as it stands when it does not carry an eight-digit date after
// "aq-". `today` is "DD.MM.YYYY".
std::string queueFileCaption(const std::string& fileName, const std::string& today);
// The "aq-*.xml" files of a folder, sorted by name (the date).
std::vector<std::filesystem::path> listQueueFiles(const std::filesystem::path& folder);

// The six queue settings under the options root.
struct QueueSettings {
    int device = -1;                         // "Adc"
    int channel = -1;                        // "Canal"
    std::string workingMethod = "Не задан";  // "MtdDefault"
    std::string purgeMethod = "Не задан";    // "MtdProduv"
    std::string loadFolder;                  // "LoadFolder"
    std::string exportProgram;               // "Prg"

    static QueueSettings load(const SettingsStore& store);
    void save(SettingsStore& store) const;
};

// The application-wide queue. The recording threads change it (a recording
// starts or ends) while the user-interface thread shows and edits it: every
// member takes mutex_, and callers only ever get copies of the entries.
class AnalysisQueue {
  public:
    // `workingCopy` is the file that holds the queue between runs.
    explicit AnalysisQueue(std::filesystem::path workingCopy);

    // "queue.xml" in the program's queue folder (under ZELMORA_HOME when set).
    static std::filesystem::path defaultWorkingCopy();

    const std::filesystem::path& workingCopy() const { return workingCopy_; }

    // Reads the working copy at program start. A missing file is an empty
    // queue. A damaged one is moved aside ("<name>.damaged-<time>") and the
    // failure says where it went; the queue is then empty. Entries left in
    // work by a program that stopped mid-recording become new again (their
    // recording never completed); the count is in `interruptedOut`.
    Status loadWorkingCopy(int* interruptedOut = nullptr);
    // Reads the working copy as it stands, changing nothing on disk (a
    // look from another process while the program may be recording).
    Status readWorkingCopy();
    // Replaces the queue by a queue file (the laboratory system's); on any
    // failure the queue and its working copy stay as they were. Warnings
    // about entries not taken go to `warnings`.
    Status load(const std::filesystem::path& file, std::vector<std::string>* warnings = nullptr);
    // Writes the working copy (temporary file and rename).
    Status save() const;

    std::vector<QueueEntry> entries() const;
    std::size_t size() const;

    // Processed entries first, the order within each kind kept.
    void sortProcessedFirst();
    void swap(std::size_t a, std::size_t b);
    int firstNew() const;
    int firstInWork() const;
    int indexOfId(std::int32_t id) const;

    // Selection marks of the queue window (by index).
    void setSelected(std::size_t index, bool on);
    void clearSelection();
    // Moves every selected entry one place up / down. Refused (false) when a
    // selected entry or the one it would pass is in work or processed, or
    // the move would leave the list; a failure when the working copy could
    // not be written (the move stays made).
    Result<bool> moveSelectedUp();
    Result<bool> moveSelectedDown();
    // Every selected processed entry becomes new; processed first again; saved.
    Status redoSelected();
    // The entry with this id becomes new again (scripting); false when absent.
    Result<bool> resetId(std::int32_t id);

    // The recording of the queue's channel starts: the first new entry goes
    // into work and is returned (nothing when the queue has no new entry).
    Result<std::optional<QueueEntry>> takeNext();
    // That recording ended: the entry in work becomes processed (completed)
    // or new again (interrupted). Nothing to do when none is in work.
    Status finishInWork(bool completed);

    // Called after every change, on the thread that made it (the queue
    // window posts itself a refresh). Set before the threads start.
    void setChangedCallback(std::function<void()> changed);

  private:
    Status saveLocked() const;
    void sortLocked();
    void notify();

    const std::filesystem::path workingCopy_;
    mutable std::mutex mutex_;  // guards entries_
    std::vector<QueueEntry> entries_;
    std::function<void()> changed_;  // set once before use; called without the lock
};

// The sample text of a queue entry in the chromatogram's passport.
std::string queueSampleText(const QueueEntry& entry);

}  // namespace zelmora
