// A database report definition ("date.rpt", "place.rpt", "parametr.rpt" in
// the templates folder, which laboratories edit by hand) on arbitrary bytes:
// whatever it accepts names only known fields, and every number format it
// accepts can be used to print a number.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/text.h"
#include "reports/db_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Result<DbReportDefinition> d = DbReportDefinition::parse(bytes);
    if (!d) {
        if (d.message().empty())
            std::abort();
        return 0;
    }
    if (d->title.empty() && d->columns.empty())
        std::abort();
    for (const DbReportColumn& c : d->columns) {
        if (c.field.empty())
            std::abort();
        if ((c.field == "Value" || c.field == "KeyAnalys") && !c.format.empty()) {
            // The format was checked: one real conversion, nothing else, so
            // printing a double through it is defined (the sanitizers watch).
            const std::string printed = text::format(c.format.c_str(), 1.5);  // NOLINT
            if (printed.size() > c.format.size() + 400)
                std::abort();
        }
    }
    return 0;
}
