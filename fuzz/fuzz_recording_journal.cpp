// A recording journal left on disk by a crash may be cut anywhere or
// damaged: reading it from arbitrary bytes must fail cleanly or give the
// whole records before the damage, never crash or allocate without bound.

#include <cstdint>
#include <string_view>

#include "instruments/recording_journal.h"

using namespace zelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    Result<JournalContents> r = RecordingJournal::parse(in, "fuzz.zrj");
    if (r && !r->points.empty())
        (void)r->points.back();
    return 0;
}
