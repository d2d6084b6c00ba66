#include "calc/composition_table.h"

#include <cmath>

#include "app/text.h"
#include "document/zelmora_doc.h"

namespace zelmora {

double cellNumber(const std::string& cell) {
    const std::optional<double> v = text::parseDouble(text::trim(cell), true);
    return v && std::isfinite(*v) ? *v : 0.0;
}

std::string formatCell(double v) {
    return text::format("%.3f", v);
}

CompositionTable compositionOf(const CZelmoraDoc& doc) {
    CompositionTable t;
    int n = 0;
    for (const Peak& p : doc.peaks.peaks) {
        CompositionRow row;
        row[kCompN] = text::format("%d", ++n);
        row[kCompTime] = formatCell(p.apexTime);
        row[kCompHeight] = formatCell(p.height);
        row[kCompArea] = formatCell(p.area);
        row[kCompConcentration] = formatCell(p.concentration);
        row[kCompComponent] = p.componentName;
        t.rows.push_back(std::move(row));
    }
    return t;
}

Result<CompositionTable> readComposition(const std::filesystem::path& file) {
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return Status::failure("Не удалось прочитать хроматограмму " + file.string() + ": " +
                               read.message());
    return compositionOf(doc);
}

namespace {
void renumber(CompositionTable& table) {
    for (std::size_t i = 0; i < table.rows.size(); ++i)
        table.rows[i][kCompN] = text::format("%zu", i + 1);
}
}  // namespace

void appendEmptyRows(CompositionTable& table, int count) {
    for (int i = 0; i < count; ++i)
        table.rows.emplace_back();
    renumber(table);
}

bool isEmptyRow(const CompositionRow& row) {
    for (std::size_t c = kCompTime; c < kCompColumns; ++c) {
        if (!text::trim(row[c]).empty())
            return false;
    }
    return true;
}

int removeEmptyRows(CompositionTable& table) {
    const std::size_t before = table.rows.size();
    std::erase_if(table.rows, isEmptyRow);
    renumber(table);
    return static_cast<int>(before - table.rows.size());
}

void completeDensity(CompositionRow& row, DensityMap& map) {
    const std::string& name = row[kCompComponent];
    if (name.empty())
        return;
    const double density = cellNumber(row[kCompDensity]);
    auto it = map.find(name);
    if (it != map.end()) {
        if (density != 0)
            it->second = density;
        else
            row[kCompDensity] = formatCell(it->second);
    } else if (density != 0) {
        map.emplace(name, density);
    }
}

void completeDensities(CompositionTable& table, DensityMap& map) {
    for (CompositionRow& row : table.rows)
        completeDensity(row, map);
}

namespace {

Status checkDensities(const std::vector<double>& values, const std::vector<double>& density) {
    if (values.size() != density.size())
        return Status::failure("число плотностей не равно числу концентраций");
    for (std::size_t i = 0; i < density.size(); ++i) {
        if (!(density[i] > 0) || !std::isfinite(density[i]))
            return Status::failure(text::format("плотность %zu-го вещества не больше 0", i + 1));
        if (!std::isfinite(values[i]))
            return Status::failure(text::format("концентрация %zu-го вещества не число", i + 1));
    }
    return {};
}

// Each value times its weight, rescaled to sum to 100.
Result<std::vector<double>> reweigh(const std::vector<double>& values,
                                    const std::vector<double>& weight) {
    double sum = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        sum += values[i] * weight[i];
    if (!(sum > 0))
        return Status::failure("сумма концентраций, взвешенных плотностями, не больше 0");
    std::vector<double> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = values[i] * weight[i] / sum * 100;
    return out;
}

}  // namespace

Result<std::vector<double>> volumeToMassPercent(const std::vector<double>& volume,
                                                const std::vector<double>& density) {
    if (Status s = checkDensities(volume, density); !s)
        return s;
    return reweigh(volume, density);
}

Result<std::vector<double>> massToVolumePercent(const std::vector<double>& mass,
                                                const std::vector<double>& density) {
    if (Status s = checkDensities(mass, density); !s)
        return s;
    std::vector<double> inverse(density.size());
    for (std::size_t i = 0; i < density.size(); ++i)
        inverse[i] = 1 / density[i];
    return reweigh(mass, inverse);
}

Result<CombinedComposition> combineCompositions(const CompositionTable& source,
                                                const CompositionTable& manual,
                                                CompositionUnit unit) {
    double s = 0;
    for (const CompositionRow& row : source.rows)
        s += cellNumber(row[kCompConcentration]);
    if (s == 0)
        return Status::failure(
            "Сумма концентраций исходной таблицы равна 0: пересчитывать нечего.");
    double m = 0;
    for (const CompositionRow& row : manual.rows)
        m += cellNumber(row[kCompConcentration]);
    // A sum below 1 is of fractions, not of per cents.
    const double manualScale = m < 1 ? 100 : 1;
    m *= manualScale;
    if (!(m > 0 && m <= 100))
        return Status::failure(
            text::format("Сумма концентраций рукописного ввода (%.3f %%) должна быть больше 0 и не "
                         "больше 100 %%.",
                         m));
    const double k = (100 - m) / s;

    CombinedComposition out;
    std::vector<double> conc, density;
    for (const CompositionRow& src : source.rows) {
        CompositionRow row = src;
        conc.push_back(cellNumber(src[kCompConcentration]) * k);
        density.push_back(cellNumber(src[kCompDensity]));
        out.table.rows.push_back(std::move(row));
    }
    for (const CompositionRow& man : manual.rows) {
        CompositionRow row = man;
        conc.push_back(cellNumber(man[kCompConcentration]) * manualScale);
        density.push_back(cellNumber(man[kCompDensity]));
        out.table.rows.push_back(std::move(row));
    }
    for (std::size_t i = 0; i < out.table.rows.size(); ++i) {
        CompositionRow& row = out.table.rows[i];
        row[kCompN] = text::format("%zu", i + 1);
        row[kCompDensity] = formatCell(density[i]);
        // Manual rows keep their own text unless they were fractions.
        if (i < source.rows.size() || manualScale != 1)
            row[kCompConcentration] = formatCell(conc[i]);
    }
    if (unit == CompositionUnit::Mass) {
        for (std::size_t i = 0; i < density.size(); ++i) {
            if (density[i] > 0 || conc[i] == 0)
                continue;
            const std::string& name = out.table.rows[i][kCompComponent];
            out.withoutDensity.push_back(name.empty() ? text::format("строка %zu", i + 1) : name);
        }
        if (out.withoutDensity.empty()) {
            // Rows of no concentration weigh nothing whatever their density.
            std::vector<double> d = density;
            for (double& x : d)
                x = x > 0 ? x : 1;
            auto mass = volumeToMassPercent(conc, d);
            if (!mass)
                return mass.status();
            for (std::size_t i = 0; i < conc.size(); ++i)
                out.table.rows[i][kCompConcentration] = formatCell((*mass)[i]);
            out.unit = CompositionUnit::Mass;
        }
    }
    return out;
}

}  // namespace zelmora
