#pragma once
// The two small binary files of the combined composition tables, both
// little-endian with counted Windows-1251 strings (the chromatogram file's
// encoding):
//
//   ".et" table   a 32-bit count R of table rows including the header row,
//                 then R − 1 rows of seven strings (N, Время, Высота,
//                 Площадь, Концентрация, Компонент, Плотность);
//   "Denseness.den" density map   a 32-bit count, then count entries: the
//                 substance's name and its density as a 64-bit real.
//
// Readers check every count against the bytes left before they allocate; a
// damaged file gives a clear error and no table. Files are written through a
// temporary file, so a failed write leaves the old one intact.
//
// The density map is the user's own: it lives in the user's data folder,
// made on first use as a copy of the one shipped in the program folder, and
// is never written into the program folder.

#include <filesystem>
#include <string>
#include <string_view>

#include "app/result.h"
#include "calc/composition_table.h"

namespace zelmora {

inline constexpr const char* kDensityMapFileName = "Denseness.den";

Result<CompositionTable> parseEtTable(std::string_view bytes);
std::string serializeEtTable(const CompositionTable& table);
Result<CompositionTable> readEtTable(const std::filesystem::path& file);
Status writeEtTable(const std::filesystem::path& file, const CompositionTable& table);

// A later entry of a name already read replaces its density.
Result<DensityMap> parseDensityMap(std::string_view bytes);
std::string serializeDensityMap(const DensityMap& map);
Result<DensityMap> readDensityMap(const std::filesystem::path& file);
Status writeDensityMap(const std::filesystem::path& file, const DensityMap& map);

// The user's density map in `dataFolder`; when it is missing, the shipped
// one of `programFolder` is copied there first (when there is one).
std::filesystem::path userDensityMapFile(const std::filesystem::path& dataFolder,
                                         const std::filesystem::path& programFolder);

}  // namespace zelmora
