#pragma once
// What the natural-gas calculation takes from one analysis of the gas: the
// chromatogram file, its sample text and its named peaks with their
// concentrations in mole per cent. The list of analyses is kept in the order
// of their file paths, one entry per file; adding a file that is in the list
// already replaces its entry.
//
// A composition typed by hand ("Метан=95.1,Этан=2.3,...") becomes an entry
// without a file, so that it goes through the same calculation.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace zelmora {

class CZelmoraDoc;

struct GasPeak {
    std::string name;
    double concentration = 0;  // mole (volume) per cent
};

struct GasChromatogram {
    std::filesystem::path file;
    std::string sample;
    std::vector<GasPeak> peaks;  // named peaks only, in the table's order
};

// The named peaks of a chromatogram file; a failure with the reason when the
// file cannot be read.
Result<GasChromatogram> readGasChromatogram(const std::filesystem::path& file);
// The same from a chromatogram that is open already.
GasChromatogram gasChromatogramOf(const CZelmoraDoc& doc, const std::filesystem::path& file);

// "Имя=число" items separated by "," or ";"; a decimal comma is not
// possible there, so numbers use the point. A failure names the item that
// is no "name=number" with a number of 0 or more.
Result<GasChromatogram> parseGasComposition(std::string_view text);

class GasChromatogramList {
  public:
    // Adds the entry, or replaces the entry of the same file.
    void add(GasChromatogram entry);
    // False when the file is not in the list.
    bool remove(const std::filesystem::path& file);
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // In the order of the file paths.
    const std::vector<GasChromatogram>& entries() const { return entries_; }

  private:
    std::vector<GasChromatogram> entries_;
};

}  // namespace zelmora
