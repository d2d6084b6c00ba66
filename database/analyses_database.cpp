#include "database/analyses_database.h"

#include <limits>
#include <system_error>

#include "app/text.h"
#include "database/schema.h"

namespace zelmora::db {

namespace {

struct TableLayout {
    const char* name;
    const char* columns;  // the rowid (or the key) first
    int columnCount;
};

// Parents before children.
const TableLayout kTables[] = {
    {"Stations", "KeyStation, Station", 2},
    {"Places", "KeyPlace, Place, Station", 3},
    {"Parametres", "KeyParametr, Parametr, Quant, DefValue", 4},
    {"CritValues", "rowid, Place, KeyParametr, CritValue", 4},
    {"Analyses",
     "KeyAnalys, Station, Place, Date, Operator, AnDate, FileName, Comment, Sample, Method", 10},
    {"Results", "rowid, Analys, Parametr, Value", 4},
};

// Keys are never handed out twice; when the damaged file's own counters
// cannot be read, the new counters start this far beyond the highest key
// found, so that keys of lost rows, which chromatogram files may hold, stay
// unused.
constexpr long long kLostKeyMargin = 100000;

constexpr long long kMinRowId = std::numeric_limits<long long>::min();

// Whether the rows after `after` can be reached: a seek to them succeeds.
bool readableAfter(Connection& src, const TableLayout& t, long long after) {
    Statement s = src.prepare(
        text::format("SELECT rowid FROM %s WHERE rowid > ? ORDER BY rowid LIMIT 1", t.name));
    s.bind(1, after);
    s.next();
    return s.ok();
}

// The smallest start after `failing` from which a seek works again, found by
// doubling the step and then halving back; nullopt when none does.
std::optional<long long> nextReadableStart(Connection& src, const TableLayout& t,
                                           long long failing) {
    long long step = 1;
    std::optional<long long> good;
    for (int i = 0; i < 63; ++i) {
        if (failing > std::numeric_limits<long long>::max() - step)
            break;
        if (readableAfter(src, t, failing + step)) {
            good = failing + step;
            break;
        }
        if (step > std::numeric_limits<long long>::max() / 2)
            break;
        step *= 2;
    }
    if (!good)
        return std::nullopt;
    long long lo = failing, hi = *good;
    while (hi - lo > 1) {
        const long long mid = lo + (hi - lo) / 2;
        if (readableAfter(src, t, mid))
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}

Result<SalvageReport::Table> copyTable(Connection& src, Connection& dst, const TableLayout& t) {
    SalvageReport::Table report{t.name};
    std::string columns = t.columns;
    std::string placeholders = "?1";
    for (int i = 1; i < t.columnCount; ++i)
        placeholders += text::format(", ?%d", i + 1);
    // The folded names are made anew from the names read, whichever schema
    // the damaged file had.
    std::vector<std::string_view> names;
    for (std::string_view rest = t.columns; !rest.empty();) {
        const std::size_t comma = rest.find(',');
        names.push_back(text::trim(rest.substr(0, comma)));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    for (const FoldedColumn& f : foldedColumns(t.name)) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == f.source) {
                columns += std::string(", ") + f.fold;
                placeholders += text::format(", %s(?%zu)", kFoldFunction, i + 1);
            }
        }
    }
    Statement insert = dst.prepare(text::format("INSERT OR IGNORE INTO %s (%s) VALUES (%s)", t.name,
                                                columns.c_str(), placeholders.c_str()));
    if (!insert.valid())
        return insert.status();
    long long last = kMinRowId;
    for (;;) {
        Statement scan = src.prepare(
            text::format("SELECT %s FROM %s WHERE rowid > ? ORDER BY rowid", t.columns, t.name));
        if (!scan.valid())
            return scan.status();
        scan.bind(1, last);
        while (scan.next()) {
            insert.reset();
            for (int c = 0; c < t.columnCount; ++c)
                insert.bindColumn(c + 1, scan, c);
            if (Status s = insert.run(); !s)
                return s;
            last = scan.int64(0);
            ++report.rowsCopied;
        }
        if (scan.ok())
            return report;
        ++report.damagedStretches;
        const std::optional<long long> resume = nextReadableStart(src, t, last);
        if (!resume)
            return report;
        last = *resume;
    }
}

Status addPlaceholders(Connection& dst, SalvageReport& r) {
    // Results whose analysis row was lost keep their values under a new
    // analysis row with the old key.
    Statement orphans = dst.prepare(
        "SELECT DISTINCT Analys FROM Results WHERE Analys NOT IN (SELECT KeyAnalys FROM "
        "Analyses)");
    std::vector<long long> keys;
    while (orphans.next())
        keys.push_back(orphans.int64(0));
    if (!orphans.ok())
        return orphans.status();
    Statement addAnalysis = dst.prepare(
        "INSERT INTO Analyses (KeyAnalys, Station, Place, Comment, StationFold, PlaceFold, "
        "OperatorFold, SampleFold, MethodFold) VALUES (?1, ?2, ?2, ?3, ?4, ?4, '', '', '')");
    for (long long k : keys) {
        addAnalysis.reset();
        addAnalysis.bind(1, k)
            .bind(2, kNoName)
            .bind(3, "Восстановлено при реставрации базы данных")
            .bind(4, text::foldCase(kNoName));
        if (Status s = addAnalysis.run(); !s)
            return s;
        ++r.placeholderAnalyses;
    }
    keys.clear();
    Statement lostStations = dst.prepare(
        "SELECT DISTINCT Station FROM Places WHERE Station NOT IN (SELECT KeyStation FROM "
        "Stations)");
    while (lostStations.next())
        keys.push_back(lostStations.int64(0));
    if (!lostStations.ok())
        return lostStations.status();
    Statement addStation =
        dst.prepare("INSERT INTO Stations (KeyStation, Station, StationFold) VALUES (?, ?, ?)");
    for (long long k : keys) {
        addStation.reset();
        const std::string name = text::format("Восстановленный пункт %lld", k);
        addStation.bind(1, k).bind(2, name).bind(3, text::foldCase(name));
        if (Status s = addStation.run(); !s)
            return s;
        ++r.placeholderStations;
    }
    if (Status s =
            dst.exec("DELETE FROM CritValues WHERE Place NOT IN (SELECT KeyPlace FROM Places) "
                     "OR KeyParametr NOT IN (SELECT KeyParametr FROM Parametres)");
        !s)
        return s;
    r.droppedCritValues = dst.changes();
    return {};
}

// Carries the key counters over, so that no key is handed out again.
Status carrySequences(Connection& src, Connection& dst) {
    bool readable = true;
    std::vector<std::pair<std::string, long long>> seqs;
    {
        Statement s = src.prepare("SELECT name, seq FROM sqlite_sequence");
        while (s.next())
            seqs.emplace_back(s.text(0), s.int64(1));
        readable = s.ok();
    }
    Statement raise = dst.prepare("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?");
    Statement ensure = dst.prepare(
        "INSERT INTO sqlite_sequence (name, seq) SELECT ?, 0 WHERE NOT EXISTS "
        "(SELECT 1 FROM sqlite_sequence WHERE name = ?)");
    for (const char* table : {"Analyses", "Stations", "Places", "Parametres"}) {
        ensure.reset();
        if (Status s = ensure.bind(1, table).bind(2, table).run(); !s)
            return s;
    }
    if (readable) {
        for (const auto& [name, seq] : seqs) {
            raise.reset();
            if (Status s = raise.bind(1, seq).bind(2, name).run(); !s)
                return s;
        }
        return {};
    }
    return dst.exec(text::format("UPDATE sqlite_sequence SET seq = seq + %lld", kLostKeyMargin));
}

}  // namespace

Result<SalvageReport> salvageDatabase(const std::filesystem::path& damaged,
                                      const std::filesystem::path& target) {
    Result<Connection> src = Connection::open(damaged, Connection::Mode::ReadOnly);
    if (!src)
        return src.status();
    Result<Connection> dst = createAnalysesDatabase(target);
    if (!dst)
        return dst.status();
    Connection& out = dst.value();
    SalvageReport report;
    Status status = out.exec("PRAGMA foreign_keys = OFF");
    {
        Transaction t(out);
        if (status)
            status = t.status();
        for (const TableLayout& table : kTables) {
            if (!status)
                break;
            Result<SalvageReport::Table> copied = copyTable(src.value(), out, table);
            if (!copied)
                status = copied.status();
            else
                report.tables.push_back(*copied);
        }
        if (status)
            status = addPlaceholders(out, report);
        if (status)
            status = carrySequences(src.value(), out);
        if (status)
            status = t.commit();
    }
    if (status)
        status = out.exec("PRAGMA foreign_keys = ON");
    if (status) {
        Statement fk = out.prepare("PRAGMA foreign_key_check");
        if (fk.next())
            status = Status::failure("нарушены связи таблиц после восстановления");
        else if (!fk.ok())
            status = fk.status();
    }
    if (status)
        status = integrityCheck(out);
    if (!status) {
        out.close();
        std::error_code ec;
        std::filesystem::remove(target, ec);
        return status;
    }
    return report;
}

std::filesystem::path damagedCopyName(const std::filesystem::path& file, std::time_t now) {
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::string stamp =
        text::format("%04d%02d%02d-%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::filesystem::path p = file;
    p.replace_filename(file.stem().string() + ".damaged-" + stamp + file.extension().string());
    for (int n = 2; std::filesystem::exists(p); ++n)
        p.replace_filename(file.stem().string() + ".damaged-" + stamp + "-" + std::to_string(n) +
                           file.extension().string());
    return p;
}

CAnalysesDatabase::CAnalysesDatabase(std::filesystem::path file) : file_(std::move(file)) {}

Status CAnalysesDatabase::open() {
    if (Status s = reconnect(); !s)
        return s;
    if (Status s = quickCheck(*connection_); !s) {
        close();
        return Status::failure("база данных повреждена: " + s.message());
    }
    return {};
}

Status CAnalysesDatabase::reconnect() {
    close();
    Result<Connection> c = openAnalysesDatabase(file_);
    if (!c)
        return c.status();
    connection_.emplace(std::move(c).value());
    return {};
}

Status CAnalysesDatabase::create() {
    close();
    Result<Connection> c = createAnalysesDatabase(file_);
    if (!c)
        return c.status();
    connection_.emplace(std::move(c).value());
    return {};
}

Status CAnalysesDatabase::compact() {
    if (!connection_) {
        if (Status s = reconnect(); !s)
            return s;
    }
    return connection_->exec("VACUUM");
}

Result<RepairReport> CAnalysesDatabase::repair() {
    Result<RepairReport> repaired = repairFile();
    if (isOpen())
        return repaired;
    const Status reopened = reconnect();
    if (!repaired) {
        if (reopened)
            return repaired.status();
        return Status::failure(repaired.message() +
                               "\nБаза данных не открыта: " + reopened.message());
    }
    if (!reopened)
        return reopened;
    return repaired;
}

Result<RepairReport> CAnalysesDatabase::repairFile() {
    close();
    RepairReport report;
    {
        Result<Connection> c = Connection::open(file_, Connection::Mode::ReadWrite);
        if (!c)
            return c.status();
        Status check = integrityCheck(c.value());
        if (check) {
            // A sound file is left as it is; reopening it checks its tables.
            c.value().close();
            if (Status s = reconnect(); !s)
                return s;
            return report;
        }
        report.wasDamaged = true;
        report.findings = check.message();
    }
    std::filesystem::path target = file_;
    target += ".repair";
    std::error_code ec;
    std::filesystem::remove(target, ec);
    Result<SalvageReport> salvage = salvageDatabase(file_, target);
    if (!salvage)
        return salvage.status();
    report.salvage = *salvage;
    report.damagedCopy = damagedCopyName(file_, std::time(nullptr));
    const MoveFile move =
        moveFile_ ? moveFile_
                  : [](const std::filesystem::path& from, const std::filesystem::path& to,
                       std::error_code& e) { std::filesystem::rename(from, to, e); };
    move(file_, report.damagedCopy, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(target, ignored);
        return Status::failure("не удалось сохранить повреждённый файл: " + ec.message());
    }
    move(target, file_, ec);
    if (ec) {
        const std::string why = ec.message();
        std::error_code back;
        move(report.damagedCopy, file_, back);
        // Neither file is lost: the salvaged one stays when the original
        // could not be put back.
        if (back)
            return Status::failure("не удалось заменить файл базы данных: " + why +
                                   "; повреждённый файл остался под именем " +
                                   report.damagedCopy.string() + ", восстановленный — " +
                                   target.string());
        std::filesystem::remove(target, ec);
        return Status::failure("не удалось заменить файл базы данных: " + why);
    }
    if (Status s = reconnect(); !s)
        return s;
    return report;
}

}  // namespace zelmora::db
