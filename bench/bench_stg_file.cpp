// Writing and reading a chromatogram of 10 million samples (40 MB of float32)
// as a ".stg" compound file, against writing and reading the same bytes with
// plain stdio. Both writers flush to disc (fsync) as a save must; the stdio
// writer without fsync is shown as well. The counter maxrss_MB is the
// process's peak resident size: run one benchmark per process
// (--benchmark_filter) to see what that operation needs.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "document/zelmora_doc.h"

namespace {

using namespace zelmora;
namespace fs = std::filesystem;

constexpr std::size_t kSamples = 10'000'000;

// A scratch folder removed with its files when the program ends.
struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::string tmpl = (fs::temp_directory_path() / "zelmora-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        path = tmpl;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& benchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

std::vector<float> makeSamples() {
    std::vector<float> s(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i)
        s[i] = static_cast<float>(i % 1000) * 0.01f;
    return s;
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

void BM_StgWrite(benchmark::State& state) {
    CZelmoraDoc doc;
    doc.signal.samples = makeSamples();
    doc.signal.dt = 1.0 / 1200;
    SilentMessageSink sink;
    const fs::path path = benchFolder() / "write.stg";
    for (auto _ : state)
        if (!doc.Write(path, sink))
            state.SkipWithError("write failed");
    finish(state);
}

void plainWrite(benchmark::State& state, bool sync) {
    const std::vector<float> samples = makeSamples();
    const fs::path path = benchFolder() / "write.raw";
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(samples.data(), 4, samples.size(), f) != samples.size()) {
            state.SkipWithError("write failed");
            break;
        }
        std::fflush(f);
        if (sync)
            ::fsync(::fileno(f));
        std::fclose(f);
    }
    finish(state);
}

void BM_PlainWriteSync(benchmark::State& state) {
    plainWrite(state, true);
}
void BM_PlainWriteNoSync(benchmark::State& state) {
    plainWrite(state, false);
}

void BM_StgRead(benchmark::State& state) {
    const fs::path path = benchFolder() / "read.stg";
    {
        CZelmoraDoc doc;
        doc.signal.samples = makeSamples();
        SilentMessageSink sink;
        doc.Write(path, sink);
    }
    for (auto _ : state) {
        CZelmoraDoc doc;
        if (!doc.Read(path))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(doc.signal.samples.data());
    }
    finish(state);
}

void BM_PlainRead(benchmark::State& state) {
    const fs::path path = benchFolder() / "read.raw";
    {
        const std::vector<float> samples = makeSamples();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(samples.data(), 4, samples.size(), f);
        std::fclose(f);
    }
    for (auto _ : state) {
        // The same result as a document read: the samples and their undo copy.
        std::vector<float> samples(kSamples);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr || std::fread(samples.data(), 4, kSamples, f) != kSamples)
            state.SkipWithError("read failed");
        if (f != nullptr)
            std::fclose(f);
        std::vector<float> undo = samples;
        benchmark::DoNotOptimize(undo.data());
    }
    finish(state);
}

BENCHMARK(BM_StgWrite)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_PlainWriteSync)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_PlainWriteNoSync)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_StgRead)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

}  // namespace
