// Importing a CSV trace from arbitrary bytes must fail cleanly or succeed,
// never crash, hang or allocate without bound. The first byte picks the
// options the operator could have given (separator, decimal comma, units,
// columns); the rest is the file.

#include <cstdint>
#include <string_view>

#include "document/csv_import.h"
#include "document/zelmora_doc.h"

using namespace zelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t pick = data[0];
    const std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    CsvImportOptions options;
    if (pick & 1)
        options.separator = "; \t,"[(pick >> 1) & 3];
    if (pick & 8)
        options.decimalComma = (pick & 16) != 0;
    if (pick & 32)
        options.timeInMinutes = false;
    if (pick & 64)
        options.signalUnit = "uV";
    if (pick & 128)
        options.signalColumn = 2;
    Result<ImportedChromatogram> r = readCsv(in, "fuzz.csv", options);
    if (!r)
        return 0;
    CZelmoraDoc doc;
    std::move(r).value().moveInto(doc);
    return 0;
}
