#include "calc/gas_chromatogram.h"

#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "document/zelmora_doc.h"

namespace zelmora {

GasChromatogram gasChromatogramOf(const CZelmoraDoc& doc, const std::filesystem::path& file) {
    GasChromatogram out;
    out.file = file;
    out.sample = doc.passport.sample;
    for (const Peak& p : doc.peaks.peaks) {
        if (!text::trim(p.componentName).empty())
            out.peaks.push_back({p.componentName, p.concentration});
    }
    return out;
}

Result<GasChromatogram> readGasChromatogram(const std::filesystem::path& file) {
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return Status::failure("Не удалось прочитать хроматограмму " + file.string() + ": " +
                               read.message());
    return gasChromatogramOf(doc, file);
}

Result<GasChromatogram> parseGasComposition(std::string_view text) {
    GasChromatogram out;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t to = text.find_first_of(",;", from);
        if (to == std::string_view::npos)
            to = text.size();
        const std::string_view item = text::trim(text.substr(from, to - from));
        from = to + 1;
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        const std::string_view name =
            eq == std::string_view::npos ? std::string_view() : text::trim(item.substr(0, eq));
        const std::optional<double> value =
            eq == std::string_view::npos ? std::nullopt : text::parseDouble(item.substr(eq + 1));
        if (name.empty() || !value || *value < 0)
            return Status::failure("Состав: \"" + std::string(item) +
                                   "\" — нужно \"Компонент=доля, об. %\" с числом 0 или больше");
        out.peaks.push_back({std::string(name), *value});
    }
    if (out.peaks.empty())
        return Status::failure("Состав газа не задан");
    return out;
}

void GasChromatogramList::add(GasChromatogram entry) {
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), entry.file,
        [](const GasChromatogram& e, const std::filesystem::path& f) { return e.file < f; });
    if (at != entries_.end() && at->file == entry.file)
        *at = std::move(entry);
    else
        entries_.insert(at, std::move(entry));
}

bool GasChromatogramList::remove(const std::filesystem::path& file) {
    const auto at = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const GasChromatogram& e) { return e.file == file; });
    if (at == entries_.end())
        return false;
    entries_.erase(at);
    return true;
}

}  // namespace zelmora
