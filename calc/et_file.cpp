#include "calc/et_file.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "app/paths.h"
#include "app/text.h"
#include "document/archive/archive.h"

namespace zelmora {
namespace {

// The largest file either reader takes: far beyond any real table.
constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

Result<std::string> readFileBytes(const std::filesystem::path& file) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec)
        return Status::failure("Не удалось открыть файл " + file.string() + ": " + ec.message());
    if (size > kMaxFileBytes)
        return Status::failure("Файл " + file.string() + " слишком велик");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("Не удалось открыть файл " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return Status::failure("Ошибка чтения файла " + file.string());
    return bytes.str();
}

}  // namespace

Result<CompositionTable> parseEtTable(std::string_view bytes) {
    ArchiveReader r(bytes);
    const std::uint32_t rowsWithHeader = r.u32();
    if (!r.ok())
        return Status::failure("файл таблицы пуст или обрезан");
    if (rowsWithHeader == 0)
        return Status::failure("файл таблицы повреждён: число строк 0 (нет даже заголовка)");
    // Seven strings of at least one byte each per row.
    const std::size_t rows =
        r.count(static_cast<std::int64_t>(rowsWithHeader) - 1, kCompColumns, "строк таблицы");
    if (!r.ok())
        return Status::failure("файл таблицы повреждён: " + r.error());
    CompositionTable t;
    t.rows.resize(rows);
    for (CompositionRow& row : t.rows) {
        for (std::string& cell : row)
            cell = r.string();
    }
    if (!r.ok())
        return Status::failure("файл таблицы повреждён: " + r.error());
    if (!r.atEnd())
        return Status::failure(
            text::format("файл таблицы повреждён: %zu лишних байт после таблицы", r.remaining()));
    return t;
}

std::string serializeEtTable(const CompositionTable& table) {
    ArchiveWriter w;
    w.u32(static_cast<std::uint32_t>(table.rows.size() + 1));
    for (const CompositionRow& row : table.rows) {
        for (const std::string& cell : row)
            w.string(cell);
    }
    return w.take();
}

Result<CompositionTable> readEtTable(const std::filesystem::path& file) {
    auto bytes = readFileBytes(file);
    if (!bytes)
        return bytes.status();
    auto t = parseEtTable(*bytes);
    if (!t)
        return Status::failure(file.string() + ": " + t.message());
    return t;
}

Status writeEtTable(const std::filesystem::path& file, const CompositionTable& table) {
    return paths::writeFileAtomically(file, serializeEtTable(table));
}

Result<DensityMap> parseDensityMap(std::string_view bytes) {
    ArchiveReader r(bytes);
    const std::uint32_t declared = r.u32();
    // A name of at least one byte and an eight-byte density per entry.
    const std::size_t count = r.count(declared, 9, "плотностей");
    if (!r.ok())
        return Status::failure("карта плотностей повреждена: " + r.error());
    DensityMap map;
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        std::string name = r.string();
        const double density = r.f64();
        if (r.ok())
            map[std::move(name)] = density;
    }
    if (!r.ok())
        return Status::failure("карта плотностей повреждена: " + r.error());
    for (const auto& [name, density] : map) {
        if (!std::isfinite(density))
            return Status::failure("карта плотностей повреждена: плотность \"" + name +
                                   "\" не число");
    }
    return map;
}

std::string serializeDensityMap(const DensityMap& map) {
    ArchiveWriter w;
    w.u32(static_cast<std::uint32_t>(map.size()));
    for (const auto& [name, density] : map) {
        w.string(name);
        w.f64(density);
    }
    return w.take();
}

Result<DensityMap> readDensityMap(const std::filesystem::path& file) {
    auto bytes = readFileBytes(file);
    if (!bytes)
        return bytes.status();
    auto map = parseDensityMap(*bytes);
    if (!map)
        return Status::failure(file.string() + ": " + map.message());
    return map;
}

Status writeDensityMap(const std::filesystem::path& file, const DensityMap& map) {
    if (!paths::ensureFolder(file.parent_path()))
        return Status::failure("Не удалось создать папку " + file.parent_path().string());
    return paths::writeFileAtomically(file, serializeDensityMap(map));
}

std::filesystem::path userDensityMapFile(const std::filesystem::path& dataFolder,
                                         const std::filesystem::path& programFolder) {
    const std::filesystem::path mine = dataFolder / kDensityMapFileName;
    std::error_code ec;
    if (!std::filesystem::exists(mine, ec) && !programFolder.empty()) {
        const std::filesystem::path shipped = programFolder / kDensityMapFileName;
        if (std::filesystem::is_regular_file(shipped, ec) && paths::ensureFolder(dataFolder))
            std::filesystem::copy_file(shipped, mine, ec);
    }
    return mine;
}

}  // namespace zelmora
