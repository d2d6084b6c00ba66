#include "database/recordsets.h"

#include "app/text.h"
#include "database/db_time.h"
#include "database/schema.h"

namespace zelmora::db {

namespace {

std::optional<double> optionalReal(const Statement& s, int column) {
    if (s.isNull(column))
        return std::nullopt;
    return s.real(column);
}

std::optional<std::time_t> optionalTime(const Statement& s, int column) {
    if (s.isNull(column))
        return std::nullopt;
    return fromDbTime(s.text(column));
}

void bindOptional(Statement& s, int index, const std::optional<double>& v) {
    if (v)
        s.bind(index, *v);
    else
        s.bindNull(index);
}

// A name as its "...Fold" column holds it.
std::string fold(std::string_view name) {
    return text::foldCase(name);
}

void bindTime(Statement& s, int index, const std::optional<std::time_t>& t) {
    if (t)
        s.bind(index, toDbTime(*t));
    else
        s.bindNull(index);
}

// Runs a statement that must change exactly one row.
Status changeOne(Connection& db, Statement& s, const char* what) {
    if (Status st = s.run(); !st)
        return st;
    if (db.changes() != 1)
        return Status::failure(std::string("запись не найдена: ") + what);
    return {};
}

Result<int> insertedKey(Connection& db, Statement& s) {
    if (Status st = s.run(); !st)
        return st;
    return static_cast<int>(db.lastInsertRowId());
}

template <typename Rows>
auto findByName(const Rows& rows, std::string_view name, auto field) -> decltype(&rows[0]) {
    for (const auto& r : rows) {
        if (text::equalsNoCase(r.*field, name))
            return &r;
    }
    return nullptr;
}

Status readStrings(Connection& db, const char* sql, std::vector<std::string>& rows) {
    Statement s = db.prepare(sql);
    std::vector<std::string> out;
    while (s.next())
        out.push_back(s.text(0));
    if (!s.ok())
        return s.status();
    rows = std::move(out);
    return {};
}

constexpr const char* kAnalysisColumns =
    "KeyAnalys, Station, Place, Date, Operator, AnDate, FileName, Comment, Sample, Method";

}  // namespace

Status CQueryRecordset::prepareQuery() {
    if (!query_.valid()) {
        Result<std::string> sql = storedQuerySql(db_, name_);
        if (!sql)
            return sql.status();
        query_ = db_.prepare(*sql);
        if (!query_.valid()) {
            Status s = query_.status();
            query_ = Statement();
            return Status::failure(name_ + ": " + s.message());
        }
    }
    query_.reset();
    return {};
}

Result<std::vector<int>> CQueryRecordset::columns(std::initializer_list<std::string_view> names) {
    std::vector<int> out;
    for (std::string_view n : names) {
        const int i = query_.columnIndex(n);
        if (i < 0)
            return Status::failure(name_ + ": нет столбца " + std::string(n));
        out.push_back(i);
    }
    return out;
}

// --- CAnalysSet

AnalysisRow CAnalysSet::read(const Statement& s) {
    AnalysisRow r;
    r.keyAnalys = s.integer(s.columnIndex("KeyAnalys"));
    r.station = s.text(s.columnIndex("Station"));
    r.place = s.text(s.columnIndex("Place"));
    r.date = optionalTime(s, s.columnIndex("Date"));
    r.operatorName = s.text(s.columnIndex("Operator"));
    r.anDate = optionalTime(s, s.columnIndex("AnDate"));
    r.fileName = s.text(s.columnIndex("FileName"));
    r.comment = s.text(s.columnIndex("Comment"));
    r.sample = s.text(s.columnIndex("Sample"));
    r.method = s.text(s.columnIndex("Method"));
    return r;
}

Result<std::optional<AnalysisRow>> CAnalysSet::find(int keyAnalys) {
    Statement s = db_.prepare(std::string("SELECT ") + kAnalysisColumns +
                              " FROM Analyses WHERE KeyAnalys = ? LIMIT 1");
    s.bind(1, keyAnalys);
    if (s.next())
        return std::optional<AnalysisRow>(read(s));
    if (!s.ok())
        return s.status();
    return std::optional<AnalysisRow>();
}

namespace {

// Binds the folded names of a row from position `first` on, in the order
// StationFold, PlaceFold, OperatorFold, SampleFold, MethodFold.
void bindAnalysisFolds(Statement& s, int first, const AnalysisRow& row) {
    s.bind(first, fold(row.station))
        .bind(first + 1, fold(row.place))
        .bind(first + 2, fold(row.operatorName))
        .bind(first + 3, fold(row.sample))
        .bind(first + 4, fold(row.method));
}

}  // namespace

Result<int> CAnalysSet::add(const AnalysisRow& row) {
    Statement s = db_.prepare(
        "INSERT INTO Analyses (Station, Place, Date, Operator, AnDate, FileName, Comment, "
        "Sample, Method, StationFold, PlaceFold, OperatorFold, SampleFold, MethodFold) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.bind(1, row.station).bind(2, row.place);
    bindTime(s, 3, row.date);
    s.bind(4, row.operatorName);
    bindTime(s, 5, row.anDate);
    s.bind(6, row.fileName).bind(7, row.comment).bind(8, row.sample).bind(9, row.method);
    bindAnalysisFolds(s, 10, row);
    return insertedKey(db_, s);
}

Status CAnalysSet::update(const AnalysisRow& row) {
    Statement s = db_.prepare(
        "UPDATE Analyses SET Station = ?, Place = ?, Date = ?, Operator = ?, AnDate = ?, "
        "FileName = ?, Comment = ?, Sample = ?, Method = ?, StationFold = ?, PlaceFold = ?, "
        "OperatorFold = ?, SampleFold = ?, MethodFold = ? WHERE KeyAnalys = ?");
    s.bind(1, row.station).bind(2, row.place);
    bindTime(s, 3, row.date);
    s.bind(4, row.operatorName);
    bindTime(s, 5, row.anDate);
    s.bind(6, row.fileName).bind(7, row.comment).bind(8, row.sample).bind(9, row.method);
    bindAnalysisFolds(s, 10, row);
    s.bind(15, row.keyAnalys);
    return changeOne(db_, s, "анализ");
}

Status CAnalysSet::remove(int keyAnalys) {
    Statement s = db_.prepare("DELETE FROM Analyses WHERE KeyAnalys = ?");
    s.bind(1, keyAnalys);
    return changeOne(db_, s, "анализ");
}

// --- critical values

CCritValues0Set::CCritValues0Set(Connection& db) : CQueryRecordset(db, kCritValuesQuery0) {}

Status CCritValues0Set::open(int queryPlace) {
    queryPlace_ = queryPlace;
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryPlace", queryPlace);
    return readRows({"Parametr", "Quant", "CritValue"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), q.text(c[1]), optionalReal(q, c[2])};
                    });
}

CCritValues1Set::CCritValues1Set(Connection& db) : CQueryRecordset(db, kCritValuesQuery1) {}

Status CCritValues1Set::open(std::string_view queryPlace, std::string_view queryStation) {
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryPlace", fold(queryPlace)).bind(":QueryStation", fold(queryStation));
    return readRows({"Parametr", "Quant", "CritValue"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), q.text(c[1]), optionalReal(q, c[2])};
                    });
}

CCritValuesSet::CCritValuesSet(Connection& db) : CQueryRecordset(db, kCritValuesQuery) {}

Status CCritValuesSet::open(int queryPlace) {
    queryPlace_ = queryPlace;
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryPlace", queryPlace);
    return readRows({"Parametr", "CritValue", "Place", "Quant", "KeyParametr"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), optionalReal(q, c[1]), q.integer(c[2]),
                                   q.text(c[3]), q.integer(c[4])};
                    });
}

Status CCritValuesSet::add(int place, int keyParametr, std::optional<double> critValue) {
    Statement s =
        db_.prepare("INSERT INTO CritValues (Place, KeyParametr, CritValue) VALUES (?, ?, ?)");
    s.bind(1, place).bind(2, keyParametr);
    bindOptional(s, 3, critValue);
    return s.run();
}

Status CCritValuesSet::setCritValue(int place, int keyParametr, double critValue) {
    Statement s =
        db_.prepare("UPDATE CritValues SET CritValue = ? WHERE Place = ? AND KeyParametr = ?");
    s.bind(1, critValue).bind(2, place).bind(3, keyParametr);
    return changeOne(db_, s, "критическое значение");
}

Status CCritValuesSet::remove(int place, int keyParametr) {
    Statement s = db_.prepare("DELETE FROM CritValues WHERE Place = ? AND KeyParametr = ?");
    s.bind(1, place).bind(2, keyParametr);
    return changeOne(db_, s, "критическое значение");
}

CLeftCritValuesSet::CLeftCritValuesSet(Connection& db)
    : CQueryRecordset(db, kLeftCritValuesQuery) {}

Status CLeftCritValuesSet::open(int queryPlace) {
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryPlace", queryPlace);
    return readRows({"Parametr", "KeyParametr", "DefValue"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), q.integer(c[1]), q.real(c[2])};
                    });
}

CLeftResultsSet::CLeftResultsSet(Connection& db) : CQueryRecordset(db, kLeftResultsQuery) {}

Status CLeftResultsSet::open(int queryAnalys) {
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryAnalys", queryAnalys);
    return readRows({"Parametr"}, rows,
                    [](Statement& q, const std::vector<int>& c) { return q.text(c[0]); });
}

// --- plain statements

// Names that differ only in case are one entry, spelt as in the row written
// first (the bare column of a min() aggregate comes from the row of the minimum).
Status CMethodSet::open() {
    return readStrings(db_,
                       "SELECT Method, min(KeyAnalys) FROM Analyses GROUP BY MethodFold "
                       "ORDER BY MethodFold",
                       rows);
}

Status CQuantSet::open() {
    return readStrings(db_,
                       "SELECT Quant, min(KeyParametr) FROM Parametres GROUP BY QuantFold "
                       "ORDER BY QuantFold",
                       rows);
}

Status CResultParametrSet::open() {
    return readStrings(db_,
                       "SELECT Results.Parametr, min(Results.rowid) FROM Analyses INNER JOIN "
                       "Results ON Analyses.KeyAnalys = Results.Analys "
                       "GROUP BY Results.ParametrFold ORDER BY Results.ParametrFold",
                       rows);
}

Status CResultPlaceSet::open() {
    Statement s = db_.prepare(
        "SELECT Analyses.Station, Analyses.Place, min(Analyses.KeyAnalys) FROM Analyses "
        "INNER JOIN Results ON Analyses.KeyAnalys = Results.Analys "
        "GROUP BY Analyses.StationFold, Analyses.PlaceFold "
        "ORDER BY Analyses.StationFold, Analyses.PlaceFold");
    std::vector<Row> out;
    while (s.next())
        out.push_back({s.text(1), s.text(0)});
    if (!s.ok())
        return s.status();
    rows = std::move(out);
    return {};
}

// --- components

Status CParametrSet::open() {
    Statement s = db_.prepare(
        "SELECT KeyParametr, Parametr, Quant, DefValue FROM Parametres ORDER BY ParametrFold");
    std::vector<Row> out;
    while (s.next())
        out.push_back({s.integer(0), s.text(1), s.text(2), s.real(3)});
    if (!s.ok())
        return s.status();
    rows = std::move(out);
    return {};
}

Result<int> CParametrSet::add(std::string_view parametr, std::string_view quant, double defValue) {
    Statement s = db_.prepare(
        "INSERT INTO Parametres (Parametr, Quant, DefValue, ParametrFold, QuantFold) "
        "VALUES (?, ?, ?, ?, ?)");
    s.bind(1, parametr)
        .bind(2, quant)
        .bind(3, defValue)
        .bind(4, fold(parametr))
        .bind(5, fold(quant));
    return insertedKey(db_, s);
}

Status CParametrSet::update(const Row& row) {
    Statement s = db_.prepare(
        "UPDATE Parametres SET Parametr = ?, Quant = ?, DefValue = ?, ParametrFold = ?, "
        "QuantFold = ? WHERE KeyParametr = ?");
    s.bind(1, row.parametr).bind(2, row.quant).bind(3, row.defValue);
    s.bind(4, fold(row.parametr)).bind(5, fold(row.quant)).bind(6, row.keyParametr);
    return changeOne(db_, s, "компонент");
}

Status CParametrSet::remove(int keyParametr) {
    Statement s = db_.prepare("DELETE FROM Parametres WHERE KeyParametr = ?");
    s.bind(1, keyParametr);
    return changeOne(db_, s, "компонент");
}

const CParametrSet::Row* CParametrSet::findName(std::string_view parametr) const {
    return findByName(rows, parametr, &Row::parametr);
}

// --- points

CPlaceSet::CPlaceSet(Connection& db) : CQueryRecordset(db, kPlacesQuery) {}

Status CPlaceSet::open(int queryStation) {
    queryStation_ = queryStation;
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryStation", queryStation);
    return readRows({"Place", "Station", "KeyPlace"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), q.integer(c[1]), q.integer(c[2])};
                    });
}

Result<int> CPlaceSet::add(std::string_view place, int station) {
    Statement s = db_.prepare("INSERT INTO Places (Place, Station, PlaceFold) VALUES (?, ?, ?)");
    s.bind(1, place).bind(2, station).bind(3, fold(place));
    return insertedKey(db_, s);
}

Status CPlaceSet::remove(int keyPlace) {
    Statement s = db_.prepare("DELETE FROM Places WHERE KeyPlace = ?");
    s.bind(1, keyPlace);
    return changeOne(db_, s, "точка отбора");
}

const CPlaceSet::Row* CPlaceSet::findName(std::string_view place) const {
    return findByName(rows, place, &Row::place);
}

// --- results

CResultExSet::CResultExSet(Connection& db) : CQueryRecordset(db, kResultsExQuery) {}

Status CResultExSet::open(int queryAnalys, int queryPlace) {
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryAnalys", queryAnalys).bind(":QueryPlace", queryPlace);
    return readRows({"Parametr", "Value", "Analys", "Quant", "CritValue"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), optionalReal(q, c[1]), q.integer(c[2]),
                                   q.text(c[3]), optionalReal(q, c[4])};
                    });
}

CResultSet::CResultSet(Connection& db) : CQueryRecordset(db, kResultsQuery) {}

Status CResultSet::open(int queryAnalys) {
    queryAnalys_ = queryAnalys;
    if (Status s = prepareQuery(); !s)
        return s;
    query().bind(":QueryAnalys", queryAnalys);
    return readRows({"Parametr", "Value", "Analys"}, rows,
                    [](Statement& q, const std::vector<int>& c) {
                        return Row{q.text(c[0]), optionalReal(q, c[1]), q.integer(c[2])};
                    });
}

Status CResultSet::add(int analys, std::string_view parametr, std::optional<double> value) {
    Statement s = db_.prepare(
        "INSERT INTO Results (Analys, Parametr, Value, ParametrFold) VALUES (?, ?, ?, ?)");
    s.bind(1, analys).bind(2, parametr);
    bindOptional(s, 3, value);
    s.bind(4, fold(parametr));
    return s.run();
}

Status CResultSet::put(int analys, std::string_view parametr, std::optional<double> value) {
    // The row is found by (Analys, ParametrFold), so "метан" updates the row
    // of "Метан" and keeps its spelling.
    Statement s = db_.prepare(
        "INSERT INTO Results (Analys, Parametr, Value, ParametrFold) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (Analys, ParametrFold) DO UPDATE SET Value = excluded.Value");
    s.bind(1, analys).bind(2, parametr);
    bindOptional(s, 3, value);
    s.bind(4, fold(parametr));
    return s.run();
}

Status CResultSet::remove(int analys, std::string_view parametr) {
    Statement s = db_.prepare("DELETE FROM Results WHERE Analys = ? AND ParametrFold = ?");
    s.bind(1, analys).bind(2, fold(parametr));
    return changeOne(db_, s, "результат");
}

const CResultSet::Row* CResultSet::findName(std::string_view parametr) const {
    return findByName(rows, parametr, &Row::parametr);
}

// --- stations

Status CStationSet::open() {
    Statement s = db_.prepare("SELECT KeyStation, Station FROM Stations ORDER BY StationFold");
    std::vector<Row> out;
    while (s.next())
        out.push_back({s.integer(0), s.text(1)});
    if (!s.ok())
        return s.status();
    rows = std::move(out);
    return {};
}

Result<int> CStationSet::add(std::string_view station) {
    Statement s = db_.prepare("INSERT INTO Stations (Station, StationFold) VALUES (?, ?)");
    s.bind(1, station).bind(2, fold(station));
    return insertedKey(db_, s);
}

Status CStationSet::remove(int keyStation) {
    Statement s = db_.prepare("DELETE FROM Stations WHERE KeyStation = ?");
    s.bind(1, keyStation);
    return changeOne(db_, s, "пункт отбора");
}

const CStationSet::Row* CStationSet::findName(std::string_view station) const {
    return findByName(rows, station, &Row::station);
}

}  // namespace zelmora::db
