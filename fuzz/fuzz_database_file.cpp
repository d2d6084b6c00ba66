// Opens arbitrary bytes as an analyses database file: the start-up check, the
// upgrade of a first-schema file, a search, the recordsets of one analysis and
// the salvage of a damaged file must fail cleanly or succeed, never crash.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/analyses_database.h"
#include "database/analysis_search.h"
#include "database/recordsets.h"
#include "database/schema.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::db;
    static const std::filesystem::path dir = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "zelmora-fuzz-XXXXXX").string();
        std::filesystem::path made(mkdtemp(tmpl.data()));
        static std::filesystem::path removeAtExit;
        removeAtExit = made;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return made;
    }();
    const std::filesystem::path file = dir / "Zelmora.db";
    const std::filesystem::path target = dir / "salvaged.db";
    // Every run starts in an empty folder: opening a file of the first
    // schema leaves a copy of it beside the file.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove_all(entry.path(), ec);
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    {
        CAnalysesDatabase database(file);
        if (database.open()) {
            AnalysisSearch s;
            s.from = {1970, 1, 1};
            s.to = {2100, 1, 1};
            findAnalyses(database.connection(), s, 50);
            CResultExSet(database.connection()).open(1, 1);
            CStationSet(database.connection()).open();
        }
    }
    salvageDatabase(file, target);
    return 0;
}
