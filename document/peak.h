#pragma once
// One peak of a chromatogram, detected or marked by hand: its range on the
// trace, what integration found (apex, height, area), what identification and
// quantitation made of it (component, concentration), its place in an
// unresolved group (links to its neighbours) and free key/value properties.
// Peaks live by value in a PeakTable.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora {

// A free key/value pair attached to a peak or to a whole peak table. Keys are
// compared exactly; within one list no key occurs twice.
struct PeakProperty {
    std::string key = "noname";
    std::string value = "novalue";

    PeakProperty() = default;
    PeakProperty(std::string k, std::string v) : key(std::move(k)), value(std::move(v)) {}
    bool operator==(const PeakProperty&) const = default;
};

using PeakPropertyList = std::vector<PeakProperty>;

// The key under which identification by indices keeps a peak's retention index
// as decimal text.
inline constexpr std::string_view kRetentionIndexKey = "Индекс";

// The value of `key`, or nullptr when the list does not hold it.
const std::string* findProperty(const PeakPropertyList& list, std::string_view key);
// Sets `key` to `value`, replacing the value of an existing pair.
void setProperty(PeakPropertyList& list, std::string_view key, std::string_view value);
// Removes `key`; true when it was there.
bool removeProperty(PeakPropertyList& list, std::string_view key);

struct Peak {
    // Bits of `flags`.
    static constexpr std::int32_t kRider = 1;           // area below the maximum rider area
    static constexpr std::int32_t kCommonBaseline = 2;  // shares the previous peak's baseline

    double apexTime = 0;            // time of the largest deviation from the baseline, min
    double area = 0;                // mV*min, riders subtracted
    double height = 0;              // largest absolute deviation from the baseline, mV
    double concentration = 0;       // result of quantitation
    std::string componentName;      // empty = unidentified
    std::int32_t ownIndex = 0;      // position in the table, rewritten on renumbering
    std::int32_t isReference = 0;   // 1 when assigned to a reference component
    std::int32_t flags = 0;         // kRider, kCommonBaseline
    std::int32_t scanStop = 0;      // stops the backward scan of manual unresolved insertion
    std::int32_t prevInGroup = -1;  // previous peak of the same unresolved group, -1 = none
    std::int32_t nextInGroup = -1;  // next peak of the same unresolved group, -1 = none
    double baselineAtEnd = 0;       // mV
    double baselineAtStart = 0;     // mV
    double startTime = 0;           // min
    double endTime = 0;             // min
    PeakPropertyList properties;
    double retentionIndex = 0;  // set by identification by indices; not stored in the file

    Peak() = default;
    // A peak over [min(a, b), max(a, b)]; a peak whose start equals its end is allowed.
    Peak(double a, double b);

    bool identified() const { return !componentName.empty(); }
    // The retention index kept in the properties ("Индекс"); a missing key or
    // a text that is not a number reads as 0.
    double indexProperty() const;
};

}  // namespace zelmora
