#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vela {

class Database;

// A value given to a statement's parameter: an integer, or a text of bytes (GBK as
// stored; apostrophes, zero bytes, "%" and "_" are bytes like any other).
using SqlValue = std::variant<int64_t, std::string>;

// One SQL statement and the values of its parameters ("?" in order), which are
// bound with sqlite3_bind_* and never written into the text: no value can end a
// literal or add a statement. A plain text converts to a statement without values.
struct BoundSql {
    BoundSql(std::string text) : sql(std::move(text)) {}
    BoundSql(const char* text) : sql(text) {}
    BoundSql(std::string text, std::vector<SqlValue> parameters)
        : sql(std::move(text)), values(std::move(parameters)) {}

    // The statement as a message shows it: each "?" replaced by its value, a
    // text between apostrophes (doubled inside). For people only, never run.
    std::string Shown() const;

    std::string sql;
    std::vector<SqlValue> values;
};

// Binds `values` to the parameters of `stmt`, in order. SQLITE_OK, or the code of
// the bind that failed; SQLITE_RANGE when the statement has another number of
// parameters than there are values.
int BindValues(sqlite3_stmt* stmt, const std::vector<SqlValue>& values);

// Owns one compiled statement with its values bound; finalized when it goes.
class PreparedSql {
public:
    PreparedSql(sqlite3* db, const BoundSql& statement);
    ~PreparedSql();
    PreparedSql(const PreparedSql&) = delete;
    PreparedSql& operator=(const PreparedSql&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    // SQLITE_OK once compiled and bound; otherwise the code of the step that failed
    // (SQLITE_MISUSE for an empty text, no connection or a text of more than one
    // statement, SQLITE_RANGE for a wrong number of values).
    int code() const { return code_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = 0;
};

// Runs `statement` (one statement) to its end on the connection, under its lock,
// and records the result code as the connection's last one. False when it could
// not be compiled or run, or when the connection is closed.
bool ExecBound(Database& db, const BoundSql& statement);

}  // namespace vela
