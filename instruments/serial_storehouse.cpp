#include "instruments/serial_storehouse.h"

#include <algorithm>

#include "app/settings_store.h"
#include "app/text.h"

namespace zelmora {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

CSerialStorehouse::CSerialStorehouse(SettingsStore& store) : store_(store) {}

std::string CSerialStorehouse::key() {
    return text::format("%s\\SerialStoragehouse", kRootKey);
}

std::string CSerialStorehouse::composition(std::uint32_t cpuSerial,
                                           const std::vector<std::uint32_t>& words) {
    std::string out = text::format("%08x", cpuSerial);
    for (std::uint32_t w : words)
        out += text::format("%08x", w);
    return out;
}

std::vector<std::uint32_t> CSerialStorehouse::groups(const std::string& record) {
    std::vector<std::uint32_t> out;
    for (std::size_t at = 0; at + 8 <= record.size(); at += 8) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            const int d = hexDigit(record[at + i]);
            if (d < 0)
                return out;
            v = (v << 4) | static_cast<std::uint32_t>(d);
        }
        out.push_back(v);
    }
    return out;
}

double CSerialStorehouse::similarity(const std::string& a, const std::string& b) {
    const auto ga = groups(a);
    const auto gb = groups(b);
    const std::size_t n = std::min(ga.size(), gb.size());
    if (n == 0)
        return 0;
    // Each group of the composition counts once, so that repeated serials
    // in a damaged record cannot lift the similarity above 1.
    std::size_t same = 0;
    for (std::uint32_t x : ga)
        if (std::any_of(gb.begin(), gb.end(),
                        [&](std::uint32_t y) { return (x & 0xFFFFFF) == (y & 0xFFFFFF); }))
            ++same;
    return std::min(1.0, static_cast<double>(same) / static_cast<double>(n));
}

std::vector<std::string> CSerialStorehouse::records() const {
    const std::string k = key();
    const int n = store_.readInt(k, "NumRecords", 0);
    std::vector<std::string> out;
    for (int i = 0; i < n && i < 10000; ++i)
        out.push_back(store_.readString(k, text::format("Record-%d", i)));
    return out;
}

std::optional<CSerialStorehouse::Match> CSerialStorehouse::findSimilar(
    const std::string& composition) const {
    const auto all = records();
    std::optional<Match> best;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const double s = similarity(composition, all[i]);
        if (s >= kStorehouseMatch && (!best || s >= best->similarity))
            best = Match{static_cast<int>(i), s, all[i]};
    }
    return best;
}

bool CSerialStorehouse::remember(const std::string& composition) {
    auto all = records();
    const auto match = findSimilar(composition);
    if (match) {
        if (text::equalsNoCase(all[static_cast<std::size_t>(match->index)], composition))
            return false;
        all[static_cast<std::size_t>(match->index)] = composition;
    } else {
        all.push_back(composition);
    }
    const std::string k = key();
    store_.setInt(k, "NumRecords", static_cast<std::int32_t>(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i)
        store_.setString(k, text::format("Record-%d", static_cast<int>(i)), all[i]);
    return true;
}

}  // namespace zelmora
