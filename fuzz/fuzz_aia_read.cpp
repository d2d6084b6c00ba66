// Importing an AIA/ANDI chromatography file from arbitrary bytes must fail
// cleanly or succeed, never crash, hang or allocate without bound. The bytes
// are opened as an in-memory netCDF file; a chromatogram that imports is also
// put into a document (peaks measured) and written back out.

#include <cstdint>
#include <string_view>

#include "document/aia_file.h"
#include "document/zelmora_doc.h"

using namespace zelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    Result<ImportedChromatogram> r = aia::readMemory(in, "fuzz.cdf");
    if (!r)
        return 0;
    CZelmoraDoc doc;
    std::move(r).value().moveInto(doc);
    (void)aia::encode(doc.signal, doc.passport, doc.peaks);
    return 0;
}
