// Reading a chromatogram file from arbitrary bytes must fail cleanly or
// succeed, never crash, hang or allocate without bound. The first byte picks
// what is fuzzed: the whole file, the stream readers alone, or a valid
// compound file whose four streams are cut from the input (so that the stream readers see damaged
// content behind an intact storage).

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "document/compound_file.h"
#include "document/stg_file.h"
#include "document/zelmora_doc.h"

using namespace zelmora;

namespace {

// One scratch file for the whole run, removed when the fuzzer exits.
struct ScratchFile {
    std::filesystem::path path;
    ScratchFile() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-stg-XXXXXX").string();
        const int fd = ::mkstemp(tmpl.data());
        if (fd >= 0)
            ::close(fd);
        path = tmpl;
    }
    ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::filesystem::path& scratchFile() {
    static const ScratchFile file;
    return file.path;
}

// Cuts the four streams from the input: the first three each after a 16-bit
// little-endian length, the passport is the rest.
void fuzzStreams(std::string_view in) {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        if (in.size() < 2)
            return;
        const std::size_t n = static_cast<unsigned char>(in[0]) |
                              static_cast<std::size_t>(static_cast<unsigned char>(in[1])) << 8;
        in.remove_prefix(2);
        parts[i] = in.substr(0, n);
        in.remove_prefix(parts[i].size());
    }
    parts[3] = in;
    Result<CompoundWriter> w = CompoundWriter::create(scratchFile());
    if (!w)
        return;
    const char* names[4] = {stg::kRawDataStream, stg::kTimeStream, stg::kTableStream,
                            stg::kPassportStream};
    for (int i = 0; i < 4; ++i)
        if (!w->addStream(names[i], parts[i]))
            return;
    if (!w->commit())
        return;
    CZelmoraDoc doc;
    doc.Read(scratchFile());
    Passport p;
    stg::ReadPassport(scratchFile(), p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0: {
            CZelmoraDoc doc;
            doc.ReadFromMemory(in, "fuzz.stg");
            break;
        }
        case 1: {
            // The stream codecs alone, quickly.
            PeakTable t;
            stg::decodeTable(in, t);
            Passport p;
            stg::decodePassport(in, p);
            stg::decodeTime(in);
            break;
        }
        default:
            fuzzStreams(in);
            break;
    }
    return 0;
}
