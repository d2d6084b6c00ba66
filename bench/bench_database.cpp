// Saving analyses and finding them in a large analyses database: a file of
// 100 000 analyses with 20 results each (5 stations with 4 points, one
// analysis every 10 minutes), then saves of new analyses and searches by a
// date range and a point.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "database/analyses_database.h"
#include "database/analysis_search.h"
#include "database/results_saver.h"
#include "database/schema.h"

namespace {

using namespace zelmora;

constexpr int kAnalyses = 100000;
constexpr int kResults = 20;
constexpr std::time_t kStart = 1'600'000'000;  // September 2020
constexpr std::time_t kStep = 600;

std::string station(int i) {
    return "Пункт " + std::to_string(i % 5);
}
std::string point(int i) {
    return "Точка " + std::to_string((i / 5) % 4);
}

std::vector<db::ResultValue> resultRows(int i) {
    std::vector<db::ResultValue> rows;
    for (int k = 0; k < kResults; ++k)
        rows.push_back({"Компонент " + std::to_string(k), i * 1e-3 + k});
    return rows;
}

Passport passportOf(int i) {
    Passport p(kStart);
    p.place = station(i);
    p.point = point(i);
    p.sample = "Проба " + std::to_string(i);
    p.operatorName = "Оператор";
    p.method = "Природный газ";
    p.samplingTime = kStart + i * kStep;
    p.analysisTime = p.samplingTime + 300;
    return p;
}

bool noFileWrite(const std::filesystem::path&, const Passport&) {
    return true;  // the chromatogram file's own rewrite is not part of this measurement
}

// The filled database, made once for all benchmarks.
db::CAnalysesDatabase& database() {
    static std::unique_ptr<db::CAnalysesDatabase> instance = [] {
        const auto file = std::filesystem::temp_directory_path() / "zelmora-bench-db.db";
        std::filesystem::remove(file);
        auto d = std::make_unique<db::CAnalysesDatabase>(file);
        if (!d->create())
            std::abort();
        db::Connection& c = d->connection();
        db::Transaction t(c);
        // The folded names as the program writes them (zelmora_fold is text::foldCase).
        db::Statement a = c.prepare(
            "INSERT INTO Analyses (Station, Place, Date, Operator, AnDate, FileName, Sample, "
            "Method, StationFold, PlaceFold, OperatorFold, SampleFold, MethodFold) "
            "VALUES (?1, ?2, ?3, 'Оператор', ?4, ?5, ?6, 'Природный газ', zelmora_fold(?1), "
            "zelmora_fold(?2), 'оператор', zelmora_fold(?6), 'природный газ')");
        db::Statement r = c.prepare(
            "INSERT INTO Results (Analys, Parametr, Value, ParametrFold) "
            "VALUES (?1, ?2, ?3, zelmora_fold(?2))");
        for (int i = 0; i < kAnalyses; ++i) {
            a.reset();
            a.bind(1, station(i)).bind(2, point(i)).bind(3, db::toDbTime(kStart + i * kStep));
            a.bind(4, db::toDbTime(kStart + i * kStep + 300));
            a.bind(5, "/data/chrom/" + std::to_string(i) + ".stg").bind(6, "Проба");
            if (!a.run())
                std::abort();
            const long long key = c.lastInsertRowId();
            for (const db::ResultValue& v : resultRows(i)) {
                r.reset();
                if (!r.bind(1, key).bind(2, v.parametr).bind(3, v.value).run())
                    std::abort();
            }
        }
        if (!t.commit())
            std::abort();
        return d;
    }();
    return *instance;
}

void BM_SaveNewAnalysis(benchmark::State& state) {
    db::Connection& c = database().connection();
    int i = kAnalyses;
    for (auto _ : state) {
        const Passport p = passportOf(i);
        auto saved = db::saveAnalysis(c, p, resultRows(i), "/data/chrom/new.stg",
                                      "/data/chrom/new.stg", noFileWrite);
        if (!saved)
            state.SkipWithError(saved.message().c_str());
        ++i;
    }
}
BENCHMARK(BM_SaveNewAnalysis)->Iterations(10000)->Unit(benchmark::kMillisecond);

// The same without waiting for the disk (synchronous = OFF): the engine's and
// our own work per save, apart from the flushes that make a save durable.
void BM_SaveNewAnalysisWithoutFlush(benchmark::State& state) {
    db::Connection& c = database().connection();
    c.exec("PRAGMA synchronous = OFF");
    int i = 2 * kAnalyses;
    for (auto _ : state) {
        const Passport p = passportOf(i);
        auto saved = db::saveAnalysis(c, p, resultRows(i), "/data/chrom/new.stg",
                                      "/data/chrom/new.stg", noFileWrite);
        if (!saved)
            state.SkipWithError(saved.message().c_str());
        ++i;
    }
    c.exec("PRAGMA synchronous = FULL");
}
BENCHMARK(BM_SaveNewAnalysisWithoutFlush)->Iterations(10000)->Unit(benchmark::kMillisecond);

void BM_SaveExistingAnalysisAgain(benchmark::State& state) {
    db::Connection& c = database().connection();
    int i = 0;
    for (auto _ : state) {
        Passport p = passportOf(i);
        p.databaseKey = i + 1;
        auto saved = db::saveAnalysis(c, p, resultRows(i + 1), "/data/chrom/again.stg",
                                      "/data/chrom/again.stg", noFileWrite);
        if (!saved || saved->created)
            state.SkipWithError("not updated");
        i = (i + 7919) % kAnalyses;
    }
}
BENCHMARK(BM_SaveExistingAnalysisAgain)->Iterations(2000)->Unit(benchmark::kMillisecond);

// A week of one point (about 50 analyses among 1000 in that week).
void BM_FindWeekAtPoint(benchmark::State& state) {
    db::Connection& c = database().connection();
    db::AnalysisSearch s;
    s.from = db::dayOf(kStart + 300 * 86400);
    s.to = db::dayOf(kStart + 306 * 86400);
    s.station = "пункт 2";
    s.place = "точка 1";
    std::size_t rows = 0;
    for (auto _ : state) {
        auto r = db::findAnalyses(c, s);
        if (!r)
            state.SkipWithError(r.message().c_str());
        rows = r->rows.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FindWeekAtPoint)->Unit(benchmark::kMillisecond);

// The whole period at one point, sorted by sample: 1000 of about 5000 rows.
void BM_FindAllAtPointBySample(benchmark::State& state) {
    db::Connection& c = database().connection();
    db::AnalysisSearch s;
    s.from = {2020, 1, 1};
    s.to = {2030, 1, 1};
    s.station = "Пункт 3";
    s.place = "Точка 0";
    s.sort = db::SortColumn::Sample;
    s.descending = false;
    std::size_t rows = 0;
    for (auto _ : state) {
        auto r = db::findAnalyses(c, s);
        if (!r)
            state.SkipWithError(r.message().c_str());
        rows = r->rows.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FindAllAtPointBySample)->Unit(benchmark::kMillisecond);

// A month of every point, newest first: the first 1000 of about 4300.
void BM_FindMonthAllPoints(benchmark::State& state) {
    db::Connection& c = database().connection();
    db::AnalysisSearch s;
    s.from = db::dayOf(kStart + 200 * 86400);
    s.to = db::dayOf(kStart + 230 * 86400);
    std::size_t rows = 0;
    for (auto _ : state) {
        auto r = db::findAnalyses(c, s);
        if (!r)
            state.SkipWithError(r.message().c_str());
        rows = r->rows.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FindMonthAllPoints)->Unit(benchmark::kMillisecond);

}  // namespace
