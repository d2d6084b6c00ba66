// Importing a chromatogram of 10 million samples from an AIA/ANDI netCDF file
// (the header check, the netCDF read, the unit conversion and the undo copy
// of the new document), against reading the same samples from a ".stg" file,
// and writing the AIA file. The goal: the import within twice the ".stg"
// read. The counter maxrss_MB is the process's peak resident size: run one
// benchmark per process (--benchmark_filter) to see what that operation needs.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "document/aia_file.h"
#include "document/zelmora_doc.h"

namespace {

using namespace zelmora;
namespace fs = std::filesystem;

constexpr std::size_t kSamples = 10'000'000;

struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::string tmpl = (fs::temp_directory_path() / "zelmora-bench-aia-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        path = tmpl;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& folder() {
    static const ScratchFolder f;
    return f.path;
}

void fill(CZelmoraDoc& doc) {
    doc.signal.samples.resize(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i)
        doc.signal.samples[i] = static_cast<float>(i % 1000) * 0.01f;
    doc.signal.dt = 1.0 / 1200;
}

// The two files, written once per process.
const fs::path& aiaFile() {
    static const fs::path p = [] {
        CZelmoraDoc doc;
        fill(doc);
        const fs::path path = folder() / "big.cdf";
        if (!aia::writeFile(path, doc.signal, doc.passport, doc.peaks))
            std::abort();
        return path;
    }();
    return p;
}

const fs::path& stgFile() {
    static const fs::path p = [] {
        CZelmoraDoc doc;
        fill(doc);
        SilentMessageSink sink;
        const fs::path path = folder() / "big.stg";
        if (!doc.Write(path, sink, false))
            std::abort();
        return path;
    }();
    return p;
}

double maxRssMb() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void finish(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * 4));
    state.counters["maxrss_MB"] = maxRssMb();
}

void BM_AiaImport(benchmark::State& state) {
    const fs::path& path = aiaFile();
    for (auto _ : state) {
        Result<ImportedChromatogram> r = aia::readFile(path);
        if (!r) {
            state.SkipWithError(r.message().c_str());
            break;
        }
        CZelmoraDoc doc;
        std::move(r).value().moveInto(doc);
        benchmark::DoNotOptimize(doc.undo.samples.data());
    }
    finish(state);
}

void BM_StgReadSameSamples(benchmark::State& state) {
    const fs::path& path = stgFile();
    for (auto _ : state) {
        CZelmoraDoc doc;
        if (!doc.Read(path)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(doc.undo.samples.data());
    }
    finish(state);
}

void BM_AiaExport(benchmark::State& state) {
    CZelmoraDoc doc;
    fill(doc);
    const fs::path path = folder() / "write.cdf";
    for (auto _ : state)
        if (!aia::writeFile(path, doc.signal, doc.passport, doc.peaks))
            state.SkipWithError("write failed");
    finish(state);
}

}  // namespace

BENCHMARK(BM_AiaImport)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_StgReadSameSamples)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_AiaExport)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
