#pragma once
// Typed access to the tables and stored queries of the analyses database, one
// class per recordset the windows use. A recordset is opened with its
// parameters and holds its rows as a snapshot; requery() re-runs the same
// prepared statement, with new parameters where it takes them. The updatable
// ones write straight to their tables with bound values, so any name,
// quotes included, is stored as typed.
//
// A recordset refers to the connection it was opened on and must not outlive
// it. Used on the user-interface thread only.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

// One row of Analyses. The dates are absent in a row made by "Новый анализ".
struct AnalysisRow {
    int keyAnalys = 0;
    std::string station;
    std::string place;
    std::optional<std::time_t> date;  // sampling
    std::string operatorName;
    std::optional<std::time_t> anDate;  // analysis
    std::string fileName;
    std::string comment;
    std::string sample;
    std::string method;
    bool operator==(const AnalysisRow&) const = default;
};

// The common base of the recordsets over stored queries: the query's name and
// its statement, prepared from the text kept in the file on the first open.
class CQueryRecordset {
  public:
    const std::string& queryName() const { return name_; }

  protected:
    CQueryRecordset(Connection& db, std::string name) : db_(db), name_(std::move(name)) {}
    // Prepares the query on first use and rewinds it for a new run.
    Status prepareQuery();
    Statement& query() { return query_; }
    // Column positions by name, since a stored query may return its columns
    // in any order.
    Result<std::vector<int>> columns(std::initializer_list<std::string_view> names);
    // Runs the prepared query and makes one row of every result row with
    // `make` (the statement and the positions of `names`). `rows` is
    // replaced only when the whole result was read.
    template <typename RowT, typename Make>
    Status readRows(std::initializer_list<std::string_view> names, std::vector<RowT>& rows,
                    Make make) {
        std::vector<RowT> out;
        std::vector<int> c;
        while (query().next()) {
            if (c.empty()) {
                auto cols = columns(names);
                if (!cols)
                    return cols.status();
                c = *cols;
            }
            out.push_back(make(query(), c));
        }
        if (!query().ok())
            return query().status();
        rows = std::move(out);
        return {};
    }

    Connection& db_;

  private:
    std::string name_;
    Statement query_;
};

// Table Analyses.
class CAnalysSet {
  public:
    explicit CAnalysSet(Connection& db) : db_(db) {}
    // "Select Top 1 * From Analyses Where KeyAnalys=%d": nullopt when there is none.
    Result<std::optional<AnalysisRow>> find(int keyAnalys);
    // Adds a row; the new key.
    Result<int> add(const AnalysisRow& row);
    // Writes every field of the row with row.keyAnalys; a missing row is an error.
    Status update(const AnalysisRow& row);
    // Deletes the row and, with it, its results.
    Status remove(int keyAnalys);

    // Reads the current row of any statement that selects "*" from Analyses.
    static AnalysisRow read(const Statement& s);

  private:
    Connection& db_;
};

class CCritValues0Set : public CQueryRecordset {
  public:
    struct Row {
        std::string parametr;
        std::string quant;
        std::optional<double> critValue;
    };
    explicit CCritValues0Set(Connection& db);
    Status open(int queryPlace);
    Status requery() { return open(queryPlace_); }
    std::vector<Row> rows;

  private:
    int queryPlace_ = 0;
};

class CCritValues1Set : public CQueryRecordset {
  public:
    using Row = CCritValues0Set::Row;
    explicit CCritValues1Set(Connection& db);
    Status open(std::string_view queryPlace, std::string_view queryStation);
    std::vector<Row> rows;
};

// The critical values of one point, with the component's name and unit.
class CCritValuesSet : public CQueryRecordset {
  public:
    struct Row {
        std::string parametr;
        std::optional<double> critValue;
        int place = 0;
        std::string quant;
        int keyParametr = 0;
    };
    explicit CCritValuesSet(Connection& db);
    Status open(int queryPlace);
    Status requery() { return open(queryPlace_); }
    // Puts a component under control at a point.
    Status add(int place, int keyParametr, std::optional<double> critValue);
    Status setCritValue(int place, int keyParametr, double critValue);
    Status remove(int place, int keyParametr);
    std::vector<Row> rows;

  private:
    int queryPlace_ = 0;
};

// The components not yet controlled at a point.
class CLeftCritValuesSet : public CQueryRecordset {
  public:
    struct Row {
        std::string parametr;
        int keyParametr = 0;
        double defValue = 0;
    };
    explicit CLeftCritValuesSet(Connection& db);
    Status open(int queryPlace);
    std::vector<Row> rows;
};

// The components of the catalogue that an analysis has no result for.
class CLeftResultsSet : public CQueryRecordset {
  public:
    explicit CLeftResultsSet(Connection& db);
    Status open(int queryAnalys);
    std::vector<std::string> rows;
};

// The methods named by analyses, for the method combo boxes.
class CMethodSet {
  public:
    explicit CMethodSet(Connection& db) : db_(db) {}
    Status open();
    std::vector<std::string> rows;

  private:
    Connection& db_;
};

// Table Parametres, sorted by name.
class CParametrSet {
  public:
    struct Row {
        int keyParametr = 0;
        std::string parametr;
        std::string quant;
        double defValue = 0;
    };
    explicit CParametrSet(Connection& db) : db_(db) {}
    Status open();
    Result<int> add(std::string_view parametr, std::string_view quant, double defValue);
    Status update(const Row& row);
    Status remove(int keyParametr);
    // Case-blind exact name match among the rows.
    const Row* findName(std::string_view parametr) const;
    std::vector<Row> rows;

  private:
    Connection& db_;
};

// The points of one station.
class CPlaceSet : public CQueryRecordset {
  public:
    struct Row {
        std::string place;
        int station = 0;
        int keyPlace = 0;
    };
    explicit CPlaceSet(Connection& db);
    Status open(int queryStation);
    Status requery() { return open(queryStation_); }
    Result<int> add(std::string_view place, int station);
    Status remove(int keyPlace);
    const Row* findName(std::string_view place) const;
    std::vector<Row> rows;

  private:
    int queryStation_ = 0;
};

// The units already used by components.
class CQuantSet {
  public:
    explicit CQuantSet(Connection& db) : db_(db) {}
    Status open();
    std::vector<std::string> rows;

  private:
    Connection& db_;
};

// The results of an analysis with each component's unit and its critical
// value at a point.
class CResultExSet : public CQueryRecordset {
  public:
    struct Row {
        std::string parametr;
        std::optional<double> value;
        int analys = 0;
        std::string quant;
        std::optional<double> critValue;
    };
    explicit CResultExSet(Connection& db);
    Status open(int queryAnalys, int queryPlace);
    std::vector<Row> rows;
};

// The components that have results in any analysis.
class CResultParametrSet {
  public:
    explicit CResultParametrSet(Connection& db) : db_(db) {}
    Status open();
    std::vector<std::string> rows;

  private:
    Connection& db_;
};

// The stations and points that have results.
class CResultPlaceSet {
  public:
    struct Row {
        std::string place;
        std::string station;
    };
    explicit CResultPlaceSet(Connection& db) : db_(db) {}
    Status open();
    std::vector<Row> rows;

  private:
    Connection& db_;
};

// The results of one analysis.
class CResultSet : public CQueryRecordset {
  public:
    struct Row {
        std::string parametr;
        std::optional<double> value;
        int analys = 0;
    };
    explicit CResultSet(Connection& db);
    Status open(int queryAnalys);
    Status requery() { return open(queryAnalys_); }
    // Adds a result row; an existing row of that component (ignoring case)
    // is an error, so nothing is ever duplicated.
    Status add(int analys, std::string_view parametr, std::optional<double> value);
    // Sets the value of the row of that component, adding it when missing.
    Status put(int analys, std::string_view parametr, std::optional<double> value);
    Status remove(int analys, std::string_view parametr);
    const Row* findName(std::string_view parametr) const;
    std::vector<Row> rows;

  private:
    int queryAnalys_ = 0;
};

// Table Stations, sorted by name.
class CStationSet {
  public:
    struct Row {
        int keyStation = 0;
        std::string station;
    };
    explicit CStationSet(Connection& db) : db_(db) {}
    Status open();
    Result<int> add(std::string_view station);
    Status remove(int keyStation);
    const Row* findName(std::string_view station) const;
    std::vector<Row> rows;

  private:
    Connection& db_;
};

}  // namespace zelmora::db
