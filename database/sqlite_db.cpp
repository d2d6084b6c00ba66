#include "database/sqlite_db.h"

#include <sqlite3.h>

#include "app/text.h"

namespace zelmora::db {

namespace {

int compareNames(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return text::compareNoCase(std::string_view(static_cast<const char*>(a), lengthA),
                               std::string_view(static_cast<const char*>(b), lengthB));
}

void foldFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const unsigned char* p = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    const std::string folded =
        text::foldCase(std::string_view(reinterpret_cast<const char*>(p), n));
    sqlite3_result_text64(context, folded.data(), folded.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// How long a statement waits for a file that another workstation is writing.
constexpr int kBusyTimeoutMs = 5000;

}  // namespace

Statement::~Statement() {
    if (stmt_ != nullptr)
        sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      stmt_(std::exchange(other.stmt_, nullptr)),
      status_(std::move(other.status_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        if (stmt_ != nullptr)
            sqlite3_finalize(stmt_);
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
        status_ = std::move(other.status_);
    }
    return *this;
}

void Statement::fail(int rc) {
    if (!status_.ok())
        return;
    std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    if (message.empty() || message == "not an error")
        message = sqlite3_errstr(rc);
    status_ = dbFailure(std::move(message));
}

int Statement::parameterIndex(const char* name) {
    if (stmt_ == nullptr)
        return 0;
    const int index = sqlite3_bind_parameter_index(stmt_, name);
    if (index == 0 && status_.ok())
        status_ = Status::failure(std::string("нет параметра ") + name);
    return index;
}

Statement& Statement::bind(int index, long long value) {
    if (stmt_ != nullptr && status_.ok()) {
        const int rc = sqlite3_bind_int64(stmt_, index, value);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

Statement& Statement::bind(int index, double value) {
    if (stmt_ != nullptr && status_.ok()) {
        const int rc = sqlite3_bind_double(stmt_, index, value);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

Statement& Statement::bind(int index, std::string_view value) {
    if (stmt_ != nullptr && status_.ok()) {
        const int rc = sqlite3_bind_text64(stmt_, index, value.data(), value.size(),
                                           SQLITE_TRANSIENT, SQLITE_UTF8);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (stmt_ != nullptr && status_.ok()) {
        const int rc = sqlite3_bind_null(stmt_, index);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

Statement& Statement::bindColumn(int index, const Statement& from, int column) {
    if (stmt_ != nullptr && status_.ok()) {
        const int rc = sqlite3_bind_value(stmt_, index, sqlite3_column_value(from.stmt_, column));
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

bool Statement::next() {
    if (stmt_ == nullptr) {
        if (status_.ok())
            status_ = Status::failure("запрос не подготовлен");
        return false;
    }
    if (!status_.ok())
        return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail(rc);
    return false;
}

Status Statement::run() {
    while (next()) {
    }
    return status_;
}

void Statement::reset() {
    if (stmt_ != nullptr)
        sqlite3_reset(stmt_);
}

int Statement::columnCount() const {
    return stmt_ != nullptr ? sqlite3_column_count(stmt_) : 0;
}

int Statement::columnIndex(std::string_view name) const {
    for (int i = 0; i < columnCount(); ++i) {
        if (text::equalsNoCase(sqlite3_column_name(stmt_, i), name))
            return i;
    }
    return -1;
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

long long Statement::int64(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string Statement::text(int column) const {
    const unsigned char* p = sqlite3_column_text(stmt_, column);
    if (p == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

Connection::~Connection() {
    close();
}

Connection::Connection(Connection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), file_(std::move(other.file_)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
        file_ = std::move(other.file_);
    }
    return *this;
}

Result<Connection> Connection::open(const std::filesystem::path& file, Mode mode) {
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
        case Mode::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Mode::ReadWriteCreate:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Connection c;
    c.db_ = raw;
    c.file_ = file;
    if (rc != SQLITE_OK) {
        std::string message = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        return Status::failure(message + ": " + file.string());
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    if (sqlite3_create_collation(raw, kNoCaseCollation, SQLITE_UTF8, nullptr, compareNames) !=
        SQLITE_OK)
        return dbFailure(c.errorMessage());
    if (sqlite3_create_function(raw, kFoldFunction, 1,
                                SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                foldFunction, nullptr, nullptr) != SQLITE_OK)
        return dbFailure(c.errorMessage());
    if (Status s = c.exec("PRAGMA foreign_keys = ON"); !s)
        return s;
    // The rollback journal (never the write-ahead log, which needs shared
    // memory that a file on a network share cannot offer) is kept between
    // transactions instead of being deleted after each: a save then costs no
    // file creation and deletion in the database folder.
    if (mode != Mode::ReadOnly) {
        if (Status s = c.exec("PRAGMA journal_mode = PERSIST"); !s)
            return s;
    }
    return c;
}

void Connection::close() {
    if (db_ != nullptr) {
        // Statements are owned by their holders and finalised first; any left
        // over would keep the file open, so close_v2 defers until they go.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

Statement Connection::prepare(std::string_view sql) {
    if (db_ == nullptr) {
        Statement s;
        s.status_ = Status::failure("база данных не открыта");
        return s;
    }
    sqlite3_stmt* stmt = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    Statement s(db_, stmt);
    if (rc != SQLITE_OK || stmt == nullptr)
        s.fail(rc == SQLITE_OK ? SQLITE_MISUSE : rc);
    return s;
}

Status Connection::exec(std::string_view sql) {
    if (db_ == nullptr)
        return Status::failure("база данных не открыта");
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        return {};
    std::string m = message != nullptr ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    return dbFailure(std::move(m));
}

Result<long long> Connection::scalar(std::string_view sql) {
    Statement s = prepare(sql);
    if (!s.next())
        return s.ok() ? Status::failure("запрос не вернул строк") : s.status();
    return s.int64(0);
}

long long Connection::lastInsertRowId() const {
    return db_ != nullptr ? sqlite3_last_insert_rowid(db_) : 0;
}

int Connection::changes() const {
    return db_ != nullptr ? sqlite3_changes(db_) : 0;
}

bool Connection::inTransaction() const {
    return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
}

std::string Connection::errorMessage() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "база данных не открыта";
}

Transaction::Transaction(Connection& db) : db_(db) {
    begin_ = db_.exec("BEGIN IMMEDIATE");
    active_ = begin_.ok();
}

Transaction::~Transaction() {
    rollback();
}

Status Transaction::commit() {
    if (!active_)
        return begin_.ok() ? Status::failure("транзакция уже завершена") : begin_;
    Status s = db_.exec("COMMIT");
    if (s)
        active_ = false;
    else
        rollback();
    return s;
}

void Transaction::rollback() {
    if (active_) {
        // A failed statement may already have ended the transaction.
        if (db_.inTransaction())
            db_.exec("ROLLBACK");
        active_ = false;
    }
}

}  // namespace zelmora::db
