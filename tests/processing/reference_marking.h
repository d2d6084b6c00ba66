#pragma once
// The straightforward form of automatic marking and of the table operations
// it uses: every deletion recalculates the whole table, the closeness test
// scans the list, riders are found by testing every pair of peaks, relinking
// searches the list for each stale link, groups are split by recursion, the
// timetable is walked afresh for every test, and every area above a chord is
// summed afresh in the precision the marking defines (the scan's wholly in
// single precision, the widening's as a double over a single-precision sum
// with dt in single precision). The tests compare the library's organised
// version against it.

#include <vector>

#include "document/peak_table.h"
#include "method/method_records.h"

namespace zelmora::reference {

void RecalculatePeaks(PeakTable& table);
void RelinkPeaks(PeakTable& table);
void NormalizePeaks(PeakTable& table);
void DeletePeak(PeakTable& table, std::size_t k, bool recalculate, bool keepNeighbourBounds);
void DetectPeaks(PeakTable& table, const std::vector<PeakEvent>& events, double width,
                 double maxCommonBaselineDistance, double widthDoublingTime, double maxRiderArea,
                 double maxWidth, double minHeight, double minArea, double markingStart);

}  // namespace zelmora::reference
