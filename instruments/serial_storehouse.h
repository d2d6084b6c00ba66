#pragma once
// The serial storehouse: the chromatograph compositions this workstation
// has seen, so that plug-and-play can give the modules of a known
// instrument the same addresses (and so the same detector channels and gas
// lines) as last time.
//
// Kept in the settings under "Software\Quendal\Zelmora\SerialStoragehouse":
// "NumRecords" and the strings "Record-0", "Record-1", ... A record is the
// control unit's serial as "%08x" followed by "%08x" for each module word.
//
// Similarity of a composition and a record: the groups of 8 hexadecimal
// digits whose serial part (digits 3-8, the 24-bit serial without the
// address byte) appears in the other, divided by the smaller number of
// groups. A record similar at 0.4 or more is the same instrument.
//
// Used on one thread at a time (the device's reader thread during
// plug-and-play, the interface thread otherwise); the settings store has
// its own lock.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelmora {

class SettingsStore;

inline constexpr double kStorehouseMatch = 0.4;

class CSerialStorehouse {
  public:
    explicit CSerialStorehouse(SettingsStore& store);

    static std::string key();
    static std::string composition(std::uint32_t cpuSerial,
                                   const std::vector<std::uint32_t>& words);
    // The 32-bit groups of a record; a malformed tail is ignored.
    static std::vector<std::uint32_t> groups(const std::string& record);
    static double similarity(const std::string& a, const std::string& b);

    std::vector<std::string> records() const;
    struct Match {
        int index = -1;
        double similarity = 0;
        std::string record;
    };
    // The most similar record (the later one on ties) if it reaches 0.4.
    std::optional<Match> findSimilar(const std::string& composition) const;
    // Remembers a composition: it replaces the record it matches or is
    // appended; a record equal to it is left as it is. True when something
    // was written.
    bool remember(const std::string& composition);

  private:
    SettingsStore& store_;
};

}  // namespace zelmora
