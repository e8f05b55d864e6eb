#include "query_cursor.h"

#include <sqlite3.h>

#include <mutex>

#include "database.h"

namespace vela {
namespace {

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text) return {};
    std::string value(text, sqlite3_column_bytes(stmt, column));
    // A text never holds a zero byte; a stored one ends it.
    return value.substr(0, value.find('\0'));
}

}  // namespace

QueryCursor::~QueryCursor() { Finalize(); }

void QueryCursor::Finalize() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    preparedOn_ = nullptr;
}

bool QueryCursor::Usable() const {
    return stmt_ && db_ && db_->Handle() == preparedOn_ && preparedOn_;
}

bool QueryCursor::PrepareQuery(const BoundSql& query, Database& db) {
    std::lock_guard lock(db.Mutex());
    Finalize();
    db_ = &db;
    rowCount_ = 0;
    if (query.sql.empty() || !db.Handle()) return false;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db.Handle(), query.sql.c_str(), static_cast<int>(query.sql.size()),
                                &stmt, nullptr);
    if (rc == SQLITE_OK && stmt) rc = BindValues(stmt, query.values);
    db.RecordResult(rc);
    if (rc != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return false;
    }
    stmt_ = stmt;
    preparedOn_ = db.Handle();
    return true;
}

bool QueryCursor::CountRows() {
    rowCount_ = 0;
    if (!db_) return false;
    std::lock_guard lock(db_->Mutex());
    if (!Usable()) return false;
    sqlite3_reset(stmt_);
    int rc;
    int count = 0;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) ++count;
    sqlite3_reset(stmt_);
    bool ok = rc == SQLITE_DONE;
    db_->RecordResult(ok ? SQLITE_OK : rc);
    rowCount_ = ok ? count : 0;
    return ok;
}

int QueryCursor::ColumnCount() const {
    if (!db_) return 0;
    std::lock_guard lock(db_->Mutex());
    return Usable() ? sqlite3_column_count(stmt_) : 0;
}

std::vector<std::string> QueryCursor::ColumnNames() const {
    std::vector<std::string> names;
    if (!db_) return names;
    std::lock_guard lock(db_->Mutex());
    if (!Usable()) return names;
    int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(stmt_, i);
        names.emplace_back(name ? name : "");
    }
    return names;
}

TextTable QueryCursor::AllRowsAsText(bool withHeader) {
    TextTable table;
    if (!db_) return table;
    std::lock_guard lock(db_->Mutex());
    if (!Usable()) return table;
    int columns = sqlite3_column_count(stmt_);
    if (withHeader) table.push_back(ColumnNames());
    sqlite3_reset(stmt_);
    for (int row = 0; row < rowCount_ && sqlite3_step(stmt_) == SQLITE_ROW; ++row) {
        std::vector<std::string> cells;
        cells.reserve(columns);
        for (int c = 0; c < columns; ++c) cells.push_back(ColumnText(stmt_, c));
        table.push_back(std::move(cells));
    }
    CountRows();
    return table;
}

}  // namespace vela
