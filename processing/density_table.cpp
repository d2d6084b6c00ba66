#include "processing/density_table.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "app/paths.h"
#include "app/text.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// The density table is small; anything this large is not one.
constexpr std::uintmax_t kMaxDensityTableBytes = 4u << 20;

std::string stripCr(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace

fs::path densityTablePath(const fs::path& databaseFolder) {
    return databaseFolder / "density.txt";
}

std::vector<DensityEntry> parseDensityTable(std::string_view bytes) {
    std::vector<DensityEntry> rows;
    auto nextLine = [&bytes](std::string& line) {
        if (bytes.empty())
            return false;
        const std::size_t end = bytes.find('\n');
        line = stripCr(std::string(bytes.substr(0, end)));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        return true;
    };
    std::string name, value;
    while (nextLine(name) && nextLine(value)) {
        if (name.empty() || value.empty())
            break;
        // A value that is no number counts as density 0, as a hand-edited
        // table has always been read.
        rows.push_back(
            {text::fromCp1251(name), text::parseDouble(text::trim(value), true).value_or(0.0)});
    }
    return rows;
}

Result<std::vector<DensityEntry>> readDensityTable(const fs::path& file) {
    const Status unreadable =
        Status::failure("Не удалось открыть таблицу плотностей " + file.string() + ".");
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxDensityTableBytes)
        return unreadable;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return unreadable;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return unreadable;
    return parseDensityTable(bytes.str());
}

Status writeDensityTable(const fs::path& file, const std::vector<DensityEntry>& rows) {
    std::string out;
    for (const DensityEntry& r : rows) {
        if (r.name.empty())
            break;
        out += text::toCp1251(r.name) + "\r\n" + text::format("%g", r.density) + "\r\n";
    }
    return paths::writeFileAtomically(file, out);
}

}  // namespace zelmora
