#pragma once
// A thin RAII layer over SQLite for the analyses database: one connection,
// prepared statements that take every value as a bound parameter (no value is
// ever pasted into the text of a statement), and transactions that roll back
// unless committed. Failures carry the engine's own message text, which is
// what the operator is shown.
//
// A connection and its statements are used on one thread at a time (the
// user-interface thread); SQLite itself is built thread-safe, so separate
// connections on other threads are independent.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/result.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zelmora::db {

// The core's result types; a failure without a message of the engine's says
// "ошибка базы данных" (see dbFailure).
using zelmora::Result;
using zelmora::Status;

inline Status dbFailure(std::string message) {
    return Status::failure(message.empty() ? std::string("ошибка базы данных")
                                           : std::move(message));
}

class Connection;

// One prepared statement. Binding and stepping errors are sticky: once a call
// fails, the statement does nothing more and status() keeps the first message.
class Statement {
  public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != nullptr; }

    // Parameters by position (1-based) or by name (":Name").
    Statement& bind(int index, long long value);
    Statement& bind(int index, int value) { return bind(index, static_cast<long long>(value)); }
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view value);
    Statement& bind(int index, const char* value) { return bind(index, std::string_view(value)); }
    Statement& bind(int index, const std::string& value) {
        return bind(index, std::string_view(value));
    }
    Statement& bindNull(int index);
    // The value of `column` of the current row of `from`, whatever its type.
    Statement& bindColumn(int index, const Statement& from, int column);
    template <typename T>
    Statement& bind(const char* name, T&& value) {
        return bind(parameterIndex(name), std::forward<T>(value));
    }
    int parameterIndex(const char* name);

    // Steps to the next row; false at the end or on failure (see ok()).
    bool next();
    // Runs a statement that returns no rows to its end.
    Status run();
    // Rewinds for another run with new values; the bindings stay.
    void reset();

    int columnCount() const;
    int columnIndex(std::string_view name) const;  // -1 when absent
    bool isNull(int column) const;
    long long int64(int column) const;
    int integer(int column) const { return static_cast<int>(int64(column)); }
    double real(int column) const;
    std::string text(int column) const;

    bool ok() const { return status_.ok(); }
    const Status& status() const { return status_; }

  private:
    friend class Connection;
    Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    void fail(int rc);

    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    Status status_;
};

// One open database file.
class Connection {
  public:
    enum class Mode {
        ReadWrite,        // an existing file; a missing one is an error
        ReadWriteCreate,  // created when missing
        ReadOnly,
    };

    Connection() = default;
    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the file with foreign keys enforced, a busy time-out for files
    // that other workstations hold, the case-blind Cyrillic collation of the
    // first schema's files and the folding function registered.
    static Result<Connection> open(const std::filesystem::path& file, Mode mode);

    bool isOpen() const { return db_ != nullptr; }
    void close();

    // A prepared statement; on failure an invalid statement whose status()
    // holds the engine's message.
    Statement prepare(std::string_view sql);
    // Runs statements without values (schema, pragmas, transactions).
    Status exec(std::string_view sql);
    // A statement with no values that returns one integer.
    Result<long long> scalar(std::string_view sql);

    long long lastInsertRowId() const;
    int changes() const;
    bool inTransaction() const;
    std::string errorMessage() const;
    const std::filesystem::path& file() const { return file_; }
    sqlite3* handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
    std::filesystem::path file_;
};

// BEGIN IMMEDIATE on construction; rolls back on destruction unless commit()
// succeeded. Taking the write lock at once means a save either gets the file
// or fails before it has written anything.
class Transaction {
  public:
    explicit Transaction(Connection& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    const Status& status() const { return begin_; }
    Status commit();
    void rollback();

  private:
    Connection& db_;
    Status begin_;
    bool active_ = false;
};

// The collation under which the first schema compared and sorted station,
// place and component names: Cyrillic and Latin letters without regard to
// case. Current files use none of the program's own; it stays registered so
// that files of the first schema can be read and brought up to date.
inline constexpr const char* kNoCaseCollation = "RUNOCASE";

// The SQL function zelmora_fold(text): the text as the "...Fold" columns
// hold it (text::foldCase). Registered on the program's connections for
// copying rows between schemas; no table, index or stored query uses it, so
// other tools never need it.
inline constexpr const char* kFoldFunction = "zelmora_fold";

}  // namespace zelmora::db
