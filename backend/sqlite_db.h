#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

// A thin layer over SQLite: one connection, its cached prepared statements and transactions.
// Errors are thrown as DbError; the store catches them at its own boundary.
namespace backend::db {

struct DbError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Connection;

// A cached statement in use: bound, stepped, and reset when it goes out of scope.
class Statement {
public:
    Statement(Connection& conn, sqlite3_stmt* stmt) : conn_(conn), stmt_(stmt) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view value);
    Statement& BindNull(int index);

    // True while a row is available.
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;

private:
    void Check(int rc, const char* what);

    Connection& conn_;
    sqlite3_stmt* stmt_;
};

class Connection {
public:
    // Opens (creating when `create`) the database file. Throws DbError.
    Connection(const std::string& path, bool create);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one or more statements without parameters.
    void Exec(const char* sql);
    // The statement for `sql`, prepared once per connection. `sql` must outlive the connection
    // (a string literal).
    Statement Prepare(const char* sql);

    // How long a statement waits for another connection's lock before it fails.
    void SetBusyTimeout(int ms);
    std::int64_t LastInsertId() const;
    int Changes() const;
    // Ends an open transaction, ignoring errors (nothing to do when none is open).
    void Rollback() noexcept;
    std::string Error() const;

private:
    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> cache_;
};

// BEGIN IMMEDIATE on construction; rolled back unless Commit ran.
class Transaction {
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Connection& conn_;
    bool done_ = false;
};

}  // namespace backend::db
