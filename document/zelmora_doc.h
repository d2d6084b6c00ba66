#pragma once
// One open chromatogram: its trace (and the copy "Отменить" restores), its
// peaks, its passport and its own copy of the method, together with the state
// the commands keep between them. Front ends subscribe to its change
// notification to redraw; the framework's part (path, title, modified flag,
// views) is a DocumentState the front end supplies.
//
// All members are used on the user-interface thread, except `signal.samples`
// while a channel records into it: then `recordingMutex` guards it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "document/document_state.h"
#include "document/message_sink.h"
#include "document/method_link.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "document/signal.h"

namespace zelmora {

class CompoundReader;
struct ProgramOptions;
class ResultsStore;

// The one-level undo ("Отменить") of the last edit of the trace (filtering,
// drift compensation, a rebuilt or mirrored peak, a crop): the samples from
// before it and how far it moved the peaks, kept and restored as one.
struct TraceUndo {
    std::vector<float> samples;  // the trace before the last edit
    double peakShift = 0;        // how far that edit moved the peaks to earlier times (a crop), min
    bool available = false;      // "Отменить" is offered; a crop leaves this as it was
};

class CZelmoraDoc {
  public:
    // What changed, for subscribers that redraw only part of their picture.
    enum class Change { Signal, Peaks, Passport, Method, Title, Any };
    using ChangeListener = std::function<void(Change)>;

    explicit CZelmoraDoc(std::unique_ptr<DocumentState> state = nullptr);
    CZelmoraDoc(const CZelmoraDoc&) = delete;
    CZelmoraDoc& operator=(const CZelmoraDoc&) = delete;
    ~CZelmoraDoc();

    Signal signal;    // the current trace; filtering changes it in place
    TraceUndo undo;   // what "Отменить" restores
    PeakTable peaks;  // attached to `signal`
    Passport passport;
    bool hasMethod = false;                    // the passport's method was loaded into `method`
    std::unique_ptr<MethodAttachment> method;  // the chromatogram's own method copy
    double retentionFactor = 1.0;      // stretch of retention times found from reference components
    std::string saveName;              // file name given to a chromatogram made from a recording
    std::int32_t reportState = 0;      // automatic report request, 0 = nothing pending
    bool databaseSaveRequest = false;  // during one save: also save the results to the database
    std::int32_t findCursor = 0;       // index after the last peak found by the interval search
    double carriedStep = 1.0;          // second time step carried through the file

    mutable std::mutex recordingMutex;  // guards signal.samples while a recording fills it

    // --- framework state
    DocumentState& state() { return *state_; }
    const DocumentState& state() const { return *state_; }
    std::filesystem::path pathName() const { return state_->pathName(); }
    bool isModified() const { return state_->isModified(); }
    void setModified(bool modified) { state_->setModified(modified); }

    // --- samples
    std::size_t sampleCount() const { return signal.size(); }
    float sample(std::size_t i) const { return signal.samples[i]; }
    double sampleTime(double i) const { return signal.timeAt(i); }
    double t0() const { return signal.t0; }
    double dt() const { return signal.dt; }
    // Keeps the samples as they are as the undo copy (not yet offered).
    void keepUndoCopy() {
        undo.samples = signal.samples;
        undo.peakShift = 0;
    }

    // --- peaks
    std::size_t peakCount() const { return peaks.size(); }
    // Peak i; nullptr when out of range.
    Peak* peak(long long i) { return peaks.at(i); }
    const Peak* peak(long long i) const { return peaks.at(i); }
    // First peak whose component name equals `name` without regard to letter
    // case (Cyrillic included); an empty name never matches. -1 when none.
    int findPeakByName(std::string_view name) const;
    Peak* peakByName(std::string_view name);
    // First peak overlapping [a, b] from peak 0, and the next one from the find
    // cursor. A peak overlaps when a or b lies within [start, end] or the peak
    // lies within [a, b]. Both set the find cursor after the hit; -1 when none.
    int FindPeak(double a, double b);
    int FindNextPeak(double a, double b);

    // --- method
    // Loads the passport's method through the installed loader and sets
    // hasMethod by the result; false (no method) without a loader.
    bool reloadMethod(MessageSink& sink);
    void reloadMethod(std::unique_ptr<MethodAttachment> loaded);

    // --- title
    // The file name without folder and extension; with a method loaded,
    // "%s; Метод: %s" with the file name and the method's name.
    std::string makeTitle() const;
    void updateTitle();

    // --- change notification
    // Marks the document modified and asks every view and subscriber to redraw.
    void changed(Change what = Change::Any);
    // Asks for a redraw without marking the document modified.
    void redraw(Change what = Change::Any);
    int subscribe(ChangeListener listener);
    void unsubscribe(int id);

    // --- file (the ".stg" compound file)
    // Fills the document from a chromatogram file. A file that cannot be read
    // is a failure saying why; the document is then left as it was.
    Status Read(const std::filesystem::path& path);
    // The same from the bytes of a whole file; `path` becomes the passport's file.
    Status ReadFromMemory(std::string_view bytes, const std::filesystem::path& path);
    // Writes the document to `path`, replacing the file there only once the new
    // one is complete; clears the modified flag. With `saveResults` the results
    // go to the database afterwards when the key is set or a save was requested.
    // A failure shows message 181, comes back with its text and leaves any old
    // file unchanged.
    Status Write(const std::filesystem::path& path, MessageSink& sink, bool saveResults = true);

    // The document's open hook: the ".stg" extension check, Read (message 180
    // on failure), the method, the title, the cleared report state.
    bool OnOpenDocument(const std::filesystem::path& path, MessageSink& sink);
    // The document's save hook: the main file, the database request and the
    // backup copy ("CheckSaveDb", "CheckSaveCopy" of `options`), with their
    // message boxes. Without options, the program's settings.
    bool OnSaveDocument(const std::filesystem::path& path, MessageSink& sink);
    bool OnSaveDocument(const std::filesystem::path& path, MessageSink& sink,
                        const ProgramOptions& options);
    // Where the backup copy of `path` goes: the copies folder and the file name.
    static std::filesystem::path backupCopyPath(const std::filesystem::path& path,
                                                const std::filesystem::path& copiesFolder);

  private:
    Status readCompound(const CompoundReader& file, const std::filesystem::path& path);
    // Writes the file with message 181 on failure; no flag, no database.
    Status writeFile(const std::filesystem::path& path, MessageSink& sink);

    std::unique_ptr<DocumentState> state_;
    std::vector<std::pair<int, ChangeListener>> listeners_;
    int nextListenerId_ = 1;
};

}  // namespace zelmora
