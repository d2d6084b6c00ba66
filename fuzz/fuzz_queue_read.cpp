// A queue file from the laboratory system, as arbitrary bytes: reading must
// fail with a message or give entries, never crash or hang, and what it
// gives must survive being written and read again unchanged.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "instruments/analysis_queue.h"

using namespace zelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    Result<QueueFileContent> r = readQueueXml(in);
    if (!r)
        return 0;
    const std::vector<QueueEntry>& entries = r.value().entries;
    if (entries.size() > static_cast<std::size_t>(kQueueMaxEntries))
        std::abort();
    Result<QueueFileContent> again = readQueueXml(writeQueueXml(entries));
    if (!again || again.value().entries.size() != entries.size())
        std::abort();
    return 0;
}
