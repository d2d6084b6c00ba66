#pragma once
// The peaks of one chromatogram, measured on the document's trace.
//
// Invariants kept by normalisation after every change:
// - peak k has ownIndex k;
// - prevInGroup / nextInGroup are -1 or valid indices and mutual: when a names
//   b as its next, b names a as its previous; following the links never loops,
//   so a chain of linked peaks is one unresolved group with one baseline from
//   the start of its first peak to the end of its last;
// - (with the detection code) the peaks are in ascending apex time, and a peak
//   lying entirely inside another has its area subtracted from the enclosing one.

#include <cstddef>
#include <vector>

#include "document/peak.h"
#include "document/signal.h"

namespace zelmora {

// The detection parameters last used on this table: the peak width and its
// limits, the thresholds, the marking start and the rider and common-baseline
// limits. The working copy of the peak events joins them with the detection code.
struct DetectionState {
    double width = 0;                      // expected peak width, min
    double maxWidth = 0;                   // maximum peak width, min
    double widthDoublingTime = 0;          // time after which the width doubles, min
    double minHeight = 0;                  // mV
    double minArea = 0;                    // mV*min
    double markingStart = 0;               // min
    double maxRiderArea = 0;               // mV*min
    double maxCommonBaselineDistance = 0;  // min
};

class PeakTable {
  public:
    std::vector<Peak> peaks;
    PeakPropertyList properties;  // of the whole table
    DetectionState detection;

    // The trace the peaks are measured on (owned by the document; may be null
    // for a table not yet attached).
    const Signal* signal() const { return signal_; }
    void attach(const Signal* s) { signal_ = s; }

    std::size_t size() const { return peaks.size(); }
    bool empty() const { return peaks.empty(); }
    // Peak i, or nullptr when i is out of range (i == size() included).
    Peak* at(long long i);
    const Peak* at(long long i) const;
    void clear() { peaks.clear(); }

    // True when the table or any of its peaks has a property (the file then
    // needs the layout with property lists).
    bool hasAnyProperty() const;

    // Sets ownIndex of peak k to k.
    void renumber();
    // Makes the group links valid from the right links alone: a right link
    // outside the table, onto the peak itself, onto a peak that another peak
    // already names, or one that would close a loop becomes -1; every left
    // link is rebuilt as the mirror of the right links.
    void relinkFromRightLinks();

  private:
    const Signal* signal_ = nullptr;
};

}  // namespace zelmora
