#pragma once
// Combined composition tables. A chromatogram often measures only part of a
// mixture; the rest (the permanent gases of a gas sample, say) is known from
// another analysis or typed in. The source table (the chromatogram's peaks)
// and the manual table (volume per cent of the rest, summing to M) are put
// together: the source is rescaled by k = (100 − M) / S, S its own sum, so
// that both together make 100 %; the result is given in volume per cent or
// turned into mass per cent with each substance's density ρ:
//     mᵢ = ρᵢ cᵢ / Σ ρⱼ cⱼ × 100,   and back  cᵢ = (mᵢ / ρᵢ) / Σ (mⱼ / ρⱼ) × 100.
//
// The tables are text grids of seven columns (N, Время, Высота, Площадь,
// Концентрация, Компонент, Плотность), numbers written with "%.3f"; a cell
// that is no number reads as 0. A manual table whose concentrations sum to
// less than 1 holds fractions: it is taken × 100, in the scaling and in the
// result alike, so that the result always sums to 100 %.
//
// Densities come from the density map (name → density, names compared
// exactly). A mass result needs a density for every row: rows without one
// are named, never counted as weightless.

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/result.h"

namespace zelmora {

class CZelmoraDoc;

enum CompositionColumn : std::size_t {
    kCompN,
    kCompTime,
    kCompHeight,
    kCompArea,
    kCompConcentration,
    kCompComponent,
    kCompDensity,
    kCompColumns
};
// The header row's texts, tab-separated.
inline constexpr const char* kCompositionHeader =
    "N\tВремя\tВысота\tПлощадь\tКонцентрация\tКомпонент\tПлотность";

using CompositionRow = std::array<std::string, kCompColumns>;

// The data rows of one table; the header row is not kept.
struct CompositionTable {
    std::vector<CompositionRow> rows;
    bool operator==(const CompositionTable&) const = default;
};

using DensityMap = std::map<std::string, double>;

// A cell as a number: its text read as a real (a decimal comma allowed),
// 0 when it is none.
double cellNumber(const std::string& cell);
std::string formatCell(double v);  // "%.3f"

// One row per peak in peak order: N, apex time, height, area and
// concentration, the component; no density.
CompositionTable compositionOf(const CZelmoraDoc& doc);
// The same from a chromatogram file; the reason when it cannot be read.
Result<CompositionTable> readComposition(const std::filesystem::path& file);

// Appends `count` empty rows and renumbers column N of every row.
void appendEmptyRows(CompositionTable& table, int count);
// A row is empty when its cells other than N are all empty.
bool isEmptyRow(const CompositionRow& row);
// Removes the empty rows (renumbering the rest); how many were removed.
int removeEmptyRows(CompositionTable& table);

// Completes the density of a row whose component or density was edited: a
// density typed in the row (not 0) goes into the map under the component; a
// row without one takes the map's. Nothing for a row without a component.
void completeDensity(CompositionRow& row, DensityMap& map);
void completeDensities(CompositionTable& table, DensityMap& map);

// Volume per cent to mass per cent and back. Every density must be above 0
// and the weighted sum must be above 0; the result sums to 100.
Result<std::vector<double>> volumeToMassPercent(const std::vector<double>& volume,
                                                const std::vector<double>& density);
Result<std::vector<double>> massToVolumePercent(const std::vector<double>& mass,
                                                const std::vector<double>& density);

enum class CompositionUnit { Volume, Mass };

struct CombinedComposition {
    CompositionTable table;
    // The unit the table is in: volume when mass was asked for but some
    // rows have no density (named in `withoutDensity`).
    CompositionUnit unit = CompositionUnit::Volume;
    std::vector<std::string> withoutDensity;  // components (or "строка N")
};

// "Перерасчет...": fails, saying why, when the source sums to 0 or the
// manual table does not sum to more than 0 and at most 100 %.
Result<CombinedComposition> combineCompositions(const CompositionTable& source,
                                                const CompositionTable& manual,
                                                CompositionUnit unit);

}  // namespace zelmora
