#pragma once
// Automatic peak marking ("Автоматическая переразметка пиков").
//
// A window of w samples slides over the trace with its centres h + 1 = w/2 + 1
// samples apart; the area of the signal above the chord of each window rises
// while the window climbs a hump and the hump's candidate is the window of the
// largest area. Each candidate is widened edge by edge to the range of the
// largest area above its chord (at most the maximum width), measured, and
// kept unless it is too small, too close to a larger peak, inside a zone
// where marking is forbidden, or merged into the first peak of a merge zone.
// The peak events of the method's timetable change the working parameters
// from their time on. At the end, runs of peaks flagged for a common baseline
// are grouped (split at valleys that dip below the group's chord, chained
// otherwise) and the whole table is integrated.
//
// Window width at sample i: w = trunc(Width/dt), or with a width doubling
// time D: w = trunc(Width/dt * (i*dt/D + 1)).
//
// Precision is part of the marking. The scan's window areas are summed and
// kept in single precision; the widening sums in single precision, takes its
// result in double and works with dt and t0 rounded to single precision, so
// that its half window and the largest width in samples are
// trunc(Width / (2 float(dt))) and trunc(MaxWidth / float(dt)) (at dt = 0.1
// min a MaxWidth of 5 min is 49 samples, not 50). On a noise-free stretch of
// sloping baseline the rounding of a float sum decides where widening stops:
// summed in double, the area keeps growing by tiny amounts, the window walks
// into the baseline and a real peak can be dropped as too wide. Chromatograms
// whose stored results were made with this marking must get the same peaks
// when marked again, so none of these sums may be replaced by running sums
// or a higher precision (ChordAreas holds both forms). Grouping widens its
// groups with the same widening; measuring and integrating peaks are not
// bound this way and sum in double.
//
// The run's working parameters are kept in the table (PeakTable::detection);
// the timetable copy is kept by the detector, sorted by time.
//
// Both cores: which windows become candidates does not depend on what the
// widening of earlier candidates finds, so the scan collects a batch of
// candidates, their widening and measuring is split over the threads, and
// they are accepted or rejected in the scan's order on one thread. The
// groups are independent of each other, and so is the measuring of each
// peak at the end. The table is the same on any number of threads.
//
// Memory: besides the finished table, a run keeps about 50 bytes per found
// peak while scanning and a few per peak afterwards, and a batch of
// candidates: no array of the trace's size.

#include <cstdint>
#include <optional>
#include <vector>

#include "document/peak_table.h"
#include "method/method_records.h"
#include "processing/chord_areas.h"

namespace zelmora {

// The kinds of PeakEvent.
enum PeakEventKind : std::int32_t {
    kForbidMarking = 0,
    kAllowMarking = 1,
    kMergeBegin = 2,
    kMergeEnd = 3,
    kSetMaxWidth = 4,  // value in seconds
    kSetMaxCommonBaselineDistance = 5,
    kSetWidth = 6,
    kSetMinHeight = 7,
    kSetMaxRiderArea = 8,
    kSetMinArea = 9,
    kSetWidthDoublingTime = 10,
};

// The starting parameters of a marking run from the method's marking record,
// in the double precision the detector works in: the one place where the
// record's fields (MaxWidth, ...) become the run's (maxWidth, ...).
DetectionState detectionParameters(const MarkingParameters& marking);

// The run's parameter that an event of `kind` (kSetMaxWidth to
// kSetWidthDoublingTime) sets; 0 for the other kinds.
double parameterOfKind(const DetectionState& parameters, std::int32_t kind);

// The maximum width travels in seconds in the timetable and in minutes
// everywhere else; these two are the one place it is converted. Other kinds
// carry their values in the run's units.
double toEventUnits(std::int32_t kind, double parameter);
double fromEventUnits(std::int32_t kind, double eventValue);

class PeakDetector {
  public:
    // The detector works on `table` (and its attached trace) with a copy of
    // the timetable, stably sorted by ascending time.
    PeakDetector(PeakTable& table, std::vector<PeakEvent> events);

    // Replaces the table's peaks by the automatically marked ones, starting
    // from `parameters` (kept in the table's detection record; a negative
    // minimum height counts as 0). `threads` as MarkingThreads takes it: 0
    // chooses by the trace's length and the processor.
    void DetectPeaks(const DetectionState& parameters, unsigned threads = 0);

    // False when a or b lies strictly inside a closed forbidden zone of the
    // timetable, or after the start of a zone that is never closed.
    bool IsMarkingAllowed(double a, double b) const;

    // Widens the sample range [L, R] to the largest area above its chord,
    // trying up to half a window per side and pass while a pass improves.
    // Returns that area, or 0 without touching L and R when the range would
    // exceed the maximum width.
    double ExpandWindow(std::int64_t& L, std::int64_t& R) const;

    // Area above the chord of samples s..e of the attached trace, as the
    // widening takes it (single-precision sum, double result).
    double chordArea(std::int64_t s, std::int64_t e) const { return chordAreas().area(s, e); }

    const std::vector<PeakEvent>& events() const { return events_; }
    PeakTable& table() const { return table_; }
    // Window width in samples at sample i for the current working width.
    std::int64_t windowWidth(std::int64_t i) const;

  private:
    struct Zone {
        double from, to;
    };
    // The last event of `kinds` with a time before t, or null.
    const PeakEvent* lastEventBefore(double t, std::initializer_list<std::int32_t> kinds) const;
    struct Candidate;
    // The widening with the working width `width` (the scan's at the
    // candidate's time) and the run's maximum width.
    double expandWindow(std::int64_t& L, std::int64_t& R, double width, EdgeSums& sums) const;
    double expandWindowClamped(std::int64_t& L, std::int64_t& R, std::int64_t m,
                               std::int64_t maxW) const;
    void widenAndMeasure(Candidate& c, EdgeSums& sums) const;
    void scan(unsigned threads);
    void normalizeUnlinked();
    void filterBySize();
    void removeForbidden();
    void mergeZones();

    PeakTable& table_;
    std::vector<PeakEvent> events_;   // sorted by time, equal times in timetable order
    std::vector<Zone> closedZones_;   // forbidden zones (from, to), in time order
    std::optional<double> openZone_;  // start of a forbidden zone never closed
    // While a run has not built its groups yet: the area MeasurePeak gave
    // each peak of the table (same positions), before riders are taken off.
    std::vector<double> measured_;
    const ChordAreas& chordAreas() const;

    // The chord areas of the attached trace, made when first needed and
    // renewed by every run (the trace may be another one in between). Made
    // before the threads of a run start and only read by them (no lock).
    mutable std::optional<ChordAreas> areas_;
};

// Automatic marking of a table with the method's parameters and timetable,
// on `threads` threads (0: chosen by the trace's length and the processor).
void AutoMarkPeaks(PeakTable& table, const MarkingParameters& parameters, unsigned threads = 0);

// The method may be saved after a marking only when the person confirmed the
// marking sheet and the access level allows saving (level 0 may not save).
bool MayMarkingSaveMethod(bool sheetConfirmed, int accessLevel);

}  // namespace zelmora
