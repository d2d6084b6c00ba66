// The ".stg" file against compound-file code that is not ours: files this
// program writes are inspected with Debian's python3-olefile, and files built
// here byte by byte, following the compound-file layout (512-byte sectors,
// 64-byte mini sectors for streams under 4096 bytes), are read back.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "document/archive/archive.h"
#include "document/stg_file.h"
#include "document/zelmora_doc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

bool haveOlefile() {
    const std::string cmd = std::string(kPython) + " -c 'import olefile' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(StgInteropTest, OlefileReadsWhatWeWrite) {
    if (!haveOlefile())
        GTEST_SKIP() << "python3-olefile is not installed";
    test::TempDir dir;
    const fs::path script = dir / "probe.py";
    test::writeFile(script,
                    "import olefile, sys\n"
                    "o = olefile.OleFileIO(sys.argv[1])\n"
                    "for d in o.direntries:\n"
                    "    if d is not None and d.entry_type == olefile.STGTY_STREAM:\n"
                    "        print('stream', d.sid, d.name, d.size)\n"
                    "print('time', o.openstream('Time').read().hex())\n"
                    "print('table', o.openstream('Table').read().hex())\n"
                    "print('raw', o.openstream('Raw_data').read()[-8:].hex())\n");
    // Small samples end up in the mini stream, large ones in regular sectors.
    for (std::size_t samples : {10u, 300000u}) {
        CZelmoraDoc doc;
        doc.signal.samples.resize(samples);
        for (std::size_t i = 0; i < samples; ++i)
            doc.signal.samples[i] = static_cast<float>(i) * 0.5f;
        doc.signal.t0 = 1.0;
        doc.signal.dt = 0.5;
        doc.carriedStep = 0.25;
        Peak a(1, 2);
        a.componentName = "Азот";
        a.nextInGroup = 1;
        doc.peaks.peaks = {a, Peak(2, 3)};
        setProperty(doc.peaks.peaks[1].properties, "Индекс", "700");
        const fs::path path = dir / "olefile.stg";
        SilentMessageSink sink;
        ASSERT_TRUE(doc.Write(path, sink));

        const std::string out =
            run(std::string(kPython) + " " + script.string() + " " + path.string() + " 2>&1");
        const std::string passport = stg::encodePassport(doc.passport);
        std::ostringstream expected;
        expected << "stream 1 Raw_data " << samples * 4 << "\n"
                 << "stream 2 Time 12\n"
                 << "stream 3 Table " << stg::encodeTable(doc.peaks).size() << "\n"
                 << "stream 4 Passport " << passport.size() << "\n"
                 << "time " << hex(stg::encodeTime(doc.signal, doc.carriedStep)) << "\n"
                 << "table " << hex(stg::encodeTable(doc.peaks)) << "\n"
                 << "raw " << hex(stg::encodeSamples(doc.signal).substr(samples * 4 - 8)) << "\n";
        EXPECT_EQ(out, expected.str()) << samples << " samples";
        // The Time stream holds 1.0, 1.5 and 1.75 as float32.
        EXPECT_NE(out.find("time 0000803f0000c03f0000e03f"), std::string::npos);
    }
}

// A minimal compound-file writer (version 3), written from the published
// layout and independent of libgsf: header, FAT, directory, mini FAT, mini
// stream and regular stream sectors, all streams in the root storage.
class CfbBuilder {
  public:
    void add(std::string name, std::string content) {
        streams_.push_back({std::move(name), std::move(content)});
    }
    // Makes the directory claim a different size for a stream (a damaged file).
    void claimSize(const std::string& name, std::uint32_t size) { claimed_[name] = size; }

    std::string build() const {
        constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD,
                                kNone = 0xFFFFFFFF;
        // Mini stream: streams under 4096 bytes in 64-byte mini sectors.
        std::string mini;
        std::vector<std::uint32_t> miniFat;
        std::vector<std::uint32_t> start(streams_.size(), kEnd);
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            const std::string& c = streams_[i].second;
            if (c.size() >= 4096 || c.empty())
                continue;
            const std::uint32_t first = static_cast<std::uint32_t>(mini.size() / 64);
            const std::size_t n = (c.size() + 63) / 64;
            for (std::size_t k = 0; k < n; ++k)
                miniFat.push_back(k + 1 < n ? first + static_cast<std::uint32_t>(k) + 1 : kEnd);
            start[i] = first;
            mini += c;
            mini.resize(mini.size() + (64 - mini.size() % 64) % 64, '\0');
        }
        // Regular sectors after the FAT: directory, mini FAT, mini stream, big streams.
        std::vector<std::string> sectors;  // content of each non-FAT sector
        std::vector<std::uint32_t> next;   // FAT entry of each non-FAT sector
        auto chain = [&](const std::string& data) -> std::uint32_t {
            if (data.empty())
                return kEnd;
            const std::uint32_t first = static_cast<std::uint32_t>(sectors.size());
            const std::size_t n = (data.size() + 511) / 512;
            for (std::size_t k = 0; k < n; ++k) {
                std::string s = data.substr(k * 512, 512);
                s.resize(512, '\0');
                sectors.push_back(s);
                next.push_back(k + 1 < n ? first + static_cast<std::uint32_t>(k) + 1 : kEnd);
            }
            return first;
        };
        const std::size_t entries = streams_.size() + 1;
        std::string dirPlaceholder(((entries + 3) / 4) * 512, '\0');
        const std::uint32_t dirStart = chain(dirPlaceholder);
        ArchiveWriter mf;
        for (std::uint32_t v : miniFat)
            mf.u32(v);
        std::string miniFatBytes = mf.take();
        miniFatBytes.resize(((miniFatBytes.size() + 511) / 512) * 512, '\xff');
        const std::uint32_t miniFatStart = chain(miniFatBytes);
        const std::uint32_t miniStart = chain(mini);
        for (std::size_t i = 0; i < streams_.size(); ++i)
            if (streams_[i].second.size() >= 4096)
                start[i] = chain(streams_[i].second);

        // The FAT sectors come first, so every other sector moves by their number.
        std::size_t fatSectors = 1;
        while (fatSectors * 128 < fatSectors + sectors.size())
            ++fatSectors;
        const auto shift = [&](std::uint32_t s) {
            return s >= kFatSect ? s : s + static_cast<std::uint32_t>(fatSectors);
        };

        // Directory: the root, then the streams as a right-leaning chain sorted
        // by the compound-file order (shorter names first, then upper case).
        std::vector<std::size_t> order(streams_.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        auto upper = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return s;
        };
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const std::string& x = streams_[a].first;
            const std::string& y = streams_[b].first;
            if (x.size() != y.size())
                return x.size() < y.size();
            return upper(x) < upper(y);
        });
        std::vector<std::uint32_t> right(streams_.size(), kNone);
        for (std::size_t k = 0; k + 1 < order.size(); ++k)
            right[order[k]] = static_cast<std::uint32_t>(order[k + 1] + 1);
        ArchiveWriter d;
        auto entry = [&](const std::string& name, std::uint8_t type, std::uint32_t child,
                         std::uint32_t rightSibling, std::uint32_t startSector,
                         std::uint32_t size) {
            std::string utf16;
            for (char c : name) {
                utf16 += c;
                utf16 += '\0';
            }
            utf16 += std::string(2, '\0');
            const std::uint16_t nameBytes = static_cast<std::uint16_t>(utf16.size());
            utf16.resize(64, '\0');
            d.bytes(utf16);
            d.u16(nameBytes);
            d.u8(type);
            d.u8(1);  // black
            d.u32(kNone);
            d.u32(rightSibling);
            d.u32(child);
            d.bytes(std::string(16 + 4 + 8 + 8, '\0'));
            d.u32(startSector);
            d.u32(size);
            d.u32(0);
        };
        entry("Root Entry", 5, order.empty() ? kNone : static_cast<std::uint32_t>(order[0] + 1),
              kNone, mini.empty() ? kEnd : shift(miniStart),
              static_cast<std::uint32_t>(mini.size()));
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            const std::string& c = streams_[i].second;
            const std::uint32_t s = c.size() >= 4096 ? shift(start[i]) : start[i];
            const auto claim = claimed_.find(streams_[i].first);
            entry(streams_[i].first, 2, kNone, right[i], c.empty() ? kEnd : s,
                  claim != claimed_.end() ? claim->second : static_cast<std::uint32_t>(c.size()));
        }
        std::string dir = d.take();
        while (dir.size() < dirPlaceholder.size()) {
            ArchiveWriter empty;
            empty.bytes(std::string(64 + 2 + 2, '\0'));
            empty.u32(kNone);
            empty.u32(kNone);
            empty.u32(kNone);
            empty.bytes(std::string(16 + 4 + 8 + 8 + 4 + 8, '\0'));
            dir += empty.data();
        }
        for (std::size_t k = 0; k < dir.size() / 512; ++k)
            sectors[dirStart + k] = dir.substr(k * 512, 512);

        ArchiveWriter fat;
        for (std::size_t k = 0; k < fatSectors; ++k)
            fat.u32(kFatSect);
        for (std::uint32_t v : next)
            fat.u32(shift(v));
        while (fat.size() < fatSectors * 512)
            fat.u32(kFree);

        ArchiveWriter h;
        h.bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        h.bytes(std::string(16, '\0'));
        h.u16(0x3E);
        h.u16(3);
        h.u16(0xFFFE);
        h.u16(9);
        h.u16(6);
        h.bytes(std::string(6, '\0'));
        h.u32(0);
        h.u32(static_cast<std::uint32_t>(fatSectors));
        h.u32(shift(dirStart));
        h.u32(0);
        h.u32(4096);
        h.u32(miniFat.empty() ? kEnd : shift(miniFatStart));
        h.u32(static_cast<std::uint32_t>(miniFatBytes.size() / 512));
        h.u32(kEnd);
        h.u32(0);
        for (std::size_t k = 0; k < 109; ++k)
            h.u32(k < fatSectors ? static_cast<std::uint32_t>(k) : kFree);
        std::string file = h.take();
        file += fat.data();
        for (const std::string& s : sectors)
            file += s;
        return file;
    }

  private:
    std::vector<std::pair<std::string, std::string>> streams_;
    std::map<std::string, std::uint32_t> claimed_;
};

TEST(StgInteropTest, ReadsFilesBuiltWithoutLibgsf) {
    test::TempDir dir;
    for (std::size_t samples : {3u, 2500u}) {  // mini stream and regular sectors
        ArchiveWriter raw;
        for (std::size_t i = 0; i < samples; ++i)
            raw.f32(static_cast<float>(i) + 0.25f);
        raw.bytes("\x01\x02");  // trailing bytes are ignored
        ArchiveWriter time;
        time.f32(2.0f);
        time.f32(2.5f);
        time.f32(3.5f);
        ArchiveWriter table;
        table.u32(stg::kTableSignature1);
        table.u32(stg::kTableSignature2);
        table.i32(2);
        table.i32(2);
        for (int i = 0; i < 2; ++i) {
            table.f64(i + 1.0);
            table.f64(i + 1.5);
            table.f64(10.0 * i);
            table.string(i == 0 ? "Метан" : "Этан");
            table.i32(i == 0 ? 1 : -1);
            table.i32(i);
        }
        Passport pass(1796740205);
        pass.sample = "Проба из цеха";
        pass.databaseKey = 5;
        CfbBuilder cfb;
        cfb.add("Raw_data", raw.take());
        cfb.add("Time", time.take());
        cfb.add("Table", table.take());
        cfb.add("Passport", stg::encodePassport(pass));
        const std::string bytes = cfb.build();
        const fs::path path = dir / "built.stg";
        test::writeFile(path, bytes);

        for (bool fromMemory : {false, true}) {
            CZelmoraDoc doc;
            const Status read = fromMemory ? doc.ReadFromMemory(bytes, path) : doc.Read(path);
            ASSERT_TRUE(read) << read.message();
            ASSERT_EQ(doc.sampleCount(), samples);
            EXPECT_EQ(doc.sample(samples - 1), static_cast<float>(samples - 1) + 0.25f);
            EXPECT_EQ(doc.t0(), 2.0);
            EXPECT_EQ(doc.dt(), 0.5);
            EXPECT_EQ(doc.carriedStep, 1.0);
            ASSERT_EQ(doc.peakCount(), 2u);
            EXPECT_EQ(doc.peak(0)->componentName, "Метан");
            EXPECT_EQ(doc.peak(1)->prevInGroup, 0);
            EXPECT_EQ(doc.peak(1)->isReference, 1);
            EXPECT_EQ(doc.passport.sample, "Проба из цеха");
            EXPECT_EQ(doc.passport.databaseKey, 5);
            EXPECT_EQ(doc.passport.file, path.string());
        }
        if (haveOlefile()) {
            // The builder itself is checked by the independent reader.
            const std::string out =
                run(std::string(kPython) +
                    " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1]);"
                    " print(sorted(e[0] for e in o.listdir()),"
                    " o.get_size('Raw_data'))\" " +
                    path.string());
            EXPECT_EQ(out, "['Passport', 'Raw_data', 'Table', 'Time'] " +
                               std::to_string(samples * 4 + 2) + "\n");
        }
    }
}

TEST(StgInteropTest, StreamSizesBeyondTheFileAreRejected) {
    ArchiveWriter raw;
    for (int i = 0; i < 2000; ++i)
        raw.f32(1.0f);
    CfbBuilder cfb;
    cfb.add("Raw_data", raw.take());
    cfb.add("Time", std::string(12, '\0'));
    cfb.add("Table", std::string());
    cfb.add("Passport", stg::encodePassport(Passport(0)));
    const std::string good = cfb.build();
    CZelmoraDoc doc;
    ASSERT_TRUE(doc.ReadFromMemory(good, "good.stg"));
    EXPECT_EQ(doc.sampleCount(), 2000u);
    // The directory claims 1.9 GB of samples in a file of a few kilobytes.
    cfb.claimSize("Raw_data", 0x7FFFFFF0);
    const std::string bad = cfb.build();
    CZelmoraDoc other;
    EXPECT_FALSE(other.ReadFromMemory(bad, "bad.stg"));
    EXPECT_EQ(other.sampleCount(), 0u);
}

}  // namespace
}  // namespace zelmora
