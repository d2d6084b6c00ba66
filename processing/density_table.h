#pragma once
// The density table "density.txt" of the database folder, with which the
// concentrations of a chromatogram are turned from volume fractions into
// mass fractions and back: pairs of lines, the component's name and its
// density, in file order, up to the first pair with an empty line (CR LF or
// LF line ends, Windows-1251 names).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace zelmora {

// Which of the two conversions of concentrations with the density table.
enum class DensityConversion { VolumeToMass, MassToVolume };

struct DensityEntry {
    std::string name;
    double density = 0;
};
// The table of the database folder.
std::filesystem::path densityTablePath(const std::filesystem::path& databaseFolder);
// The table from the bytes of the file (Windows-1251).
std::vector<DensityEntry> parseDensityTable(std::string_view bytes);
// A failure, with the message the operator is shown, when the file cannot be
// read.
Result<std::vector<DensityEntry>> readDensityTable(const std::filesystem::path& file);
// Rewrites the table in the same form, up to the first row with an empty cell;
// the file is replaced only once the new one is complete.
Status writeDensityTable(const std::filesystem::path& file, const std::vector<DensityEntry>& rows);

}  // namespace zelmora
