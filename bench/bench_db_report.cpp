// The database reports over a large analyses database: 100 000 analyses of
// 20 components each over ten years at 20 sampling points (5 stations with 4
// points). Measured: the component report for one point over the ten years
// (the other 19 points unselected in the dialog), from the statement to the
// finished rich text, and the date report of one day.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/text.h"
#include "database/db_time.h"
#include "database/schema.h"
#include "reports/db_report.h"

namespace {

using namespace zelmora;

constexpr int kAnalyses = 100000;
constexpr int kResults = 20;
constexpr std::time_t kStart = 1'500'000'000;  // July 2017
// Ten years spread over the analyses.
constexpr std::time_t kStep = 10LL * 365 * 86400 / kAnalyses;

std::string station(int i) {
    return "Пункт " + std::to_string(i % 5);
}
std::string point(int i) {
    return "Точка " + std::to_string((i / 5) % 4);
}

db::Connection& database() {
    static std::unique_ptr<db::Connection> instance = [] {
        const auto file = std::filesystem::temp_directory_path() / "zelmora-bench-report.db";
        std::filesystem::remove(file);
        auto c = std::make_unique<db::Connection>(db::createAnalysesDatabase(file).value());
        const auto t0 = std::chrono::steady_clock::now();
        db::Transaction tx(*c);
        db::Statement a = c->prepare(
            "INSERT INTO Analyses (KeyAnalys, Station, Place, Date, AnDate, Sample, Method, "
            "StationFold, PlaceFold, OperatorFold, SampleFold, MethodFold) "
            "VALUES (?, ?, ?, ?, ?, ?, 'Газ', ?, ?, '', ?, 'газ')");
        db::Statement r = c->prepare(
            "INSERT INTO Results (Analys, Parametr, Value, ParametrFold) VALUES (?, ?, ?, ?)");
        std::vector<std::string> names, folded;
        for (int k = 0; k < kResults; ++k) {
            names.push_back("Компонент " + std::to_string(k));
            folded.push_back(text::foldCase(names.back()));
        }
        for (int i = 0; i < kAnalyses; ++i) {
            const std::string s = station(i), p = point(i), sample = "Проба " + std::to_string(i);
            const std::string when = db::toDbTime(kStart + i * kStep);
            a.reset();
            a.bind(1, i + 1).bind(2, s).bind(3, p).bind(4, when).bind(5, when).bind(6, sample);
            a.bind(7, text::foldCase(s)).bind(8, text::foldCase(p)).bind(9, text::foldCase(sample));
            if (!a.run())
                std::abort();
            for (int k = 0; k < kResults; ++k) {
                r.reset();
                r.bind(1, i + 1).bind(2, names[k]).bind(3, i * 1e-3 + k).bind(4, folded[k]);
                if (!r.run())
                    std::abort();
            }
        }
        if (!tx.commit())
            std::abort();
        (void)c->exec("ANALYZE");
        std::fprintf(stderr, "database of %d analyses made in %.1f s\n", kAnalyses,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        return c;
    }();
    return *instance;
}

void BM_ComponentReportOfOnePointOverTenYears(benchmark::State& state) {
    db::Connection& db = database();
    const DbReportDefinition def =
        DbReportDefinition::parse(defaultDbReportDefinition(DbReportKind::Parametr)).value();
    DbReportSelection sel;
    sel.from = db::dayOf(kStart);
    sel.to = db::dayOf(kStart + kAnalyses * kStep);
    sel.parametr = "Компонент 7";
    // One point chosen in the dialog's list: the other 19 unselected.
    for (int s = 0; s < 5; ++s)
        for (int p = 0; p < 4; ++p)
            if (s != 2 || p != 1)
                sel.excludedPoints.emplace_back("Пункт " + std::to_string(s),
                                                "Точка " + std::to_string(p));
    std::size_t rows = 0;
    for (auto _ : state) {
        const Result<DbReport> r = runDbReport(db, def, sel);
        if (!r)
            state.SkipWithError(r.message().c_str());
        rows = r->rowCount;
        const rtf::RtfDocument doc = dbReportToRtf(*r);
        benchmark::DoNotOptimize(doc.elements.size());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ComponentReportOfOnePointOverTenYears)->Unit(benchmark::kMillisecond);

void BM_DateReportOfOneDay(benchmark::State& state) {
    db::Connection& db = database();
    const DbReportDefinition def =
        DbReportDefinition::parse(defaultDbReportDefinition(DbReportKind::Date)).value();
    DbReportSelection sel;
    sel.from = sel.to = db::dayOf(kStart + kAnalyses / 2 * kStep);
    std::size_t rows = 0;
    for (auto _ : state) {
        const Result<DbReport> r = runDbReport(db, def, sel);
        if (!r)
            state.SkipWithError(r.message().c_str());
        rows = r->rowCount;
        benchmark::DoNotOptimize(dbReportToRtf(*r).elements.size());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_DateReportOfOneDay)->Unit(benchmark::kMillisecond);

}  // namespace
