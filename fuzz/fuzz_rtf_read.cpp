// The RTF reader on arbitrary bytes (report templates and saved reports come
// from any word processor): it never crashes, and whatever it reads, written
// out and read again, gives the same text and the same RTF once more.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::rtf;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zelmora::Result<RtfDocument> doc = readRtf(bytes);
    if (!doc)
        return 0;
    const std::string once = writeRtf(*doc);
    const zelmora::Result<RtfDocument> again = readRtf(once);
    if (!again || again->plainText() != doc->plainText())
        std::abort();
    if (writeRtf(*again) != once)
        std::abort();
    return 0;
}
