#include "backend/sqlite_db.h"

namespace backend::db {

Statement::~Statement() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::Check(int rc, const char* what) {
    if (rc != SQLITE_OK) {
        throw DbError(std::string(what) + ": " + conn_.Error());
    }
}

Statement& Statement::Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value), "bind");
    return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
    Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT),
          "bind");
    return *this;
}

Statement& Statement::BindNull(int index) {
    Check(sqlite3_bind_null(stmt_, index), "bind");
    return *this;
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    throw DbError(std::string("step: ") + conn_.Error());
}

void Statement::Run() {
    while (Step()) {
    }
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(size));
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Connection::Connection(const std::string& path, bool create) {
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string error = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw DbError("open " + path + ": " + error);
    }
    sqlite3_extended_result_codes(db_, 1);
}

Connection::~Connection() {
    for (auto& [sql, stmt] : cache_) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db_);
}

void Connection::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string error = message != nullptr ? message : Error();
        sqlite3_free(message);
        throw DbError("exec: " + error);
    }
}

Statement Connection::Prepare(const char* sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
            SQLITE_OK) {
            throw DbError("prepare: " + Error());
        }
        it = cache_.emplace(sql, stmt).first;
    }
    return Statement(*this, it->second);
}

void Connection::SetBusyTimeout(int ms) {
    sqlite3_busy_timeout(db_, ms);
}

std::int64_t Connection::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int Connection::Changes() const {
    return sqlite3_changes(db_);
}

void Connection::Rollback() noexcept {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::string Connection::Error() const {
    return sqlite3_errmsg(db_);
}

Transaction::Transaction(Connection& conn) : conn_(conn) {
    conn_.Exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!done_) {
        conn_.Rollback();
    }
}

void Transaction::Commit() {
    conn_.Exec("COMMIT");
    done_ = true;
}

}  // namespace backend::db
