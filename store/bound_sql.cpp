#include "bound_sql.h"

#include <sqlite3.h>

#include <mutex>
#include <string_view>

#include "database.h"
#include "sql_clean.h"

namespace vela {

std::string BoundSql::Shown() const {
    std::string shown;
    std::size_t next = 0;
    for (const char c : sql) {
        if (c != '?' || next >= values.size()) {
            shown += c;
            continue;
        }
        const SqlValue& value = values[next++];
        if (const auto* number = std::get_if<int64_t>(&value)) {
            shown += std::to_string(*number);
        } else {
            shown += '\'';
            AppendSqlQuoted(shown, std::get<std::string>(value));
            shown += '\'';
        }
    }
    return shown;
}

int BindValues(sqlite3_stmt* stmt, const std::vector<SqlValue>& values) {
    if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(values.size())) return SQLITE_RANGE;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        int rc;
        if (const auto* number = std::get_if<int64_t>(&values[i])) {
            rc = sqlite3_bind_int64(stmt, index, *number);
        } else {
            const std::string& text = std::get<std::string>(values[i]);
            rc = sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        }
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

PreparedSql::PreparedSql(sqlite3* db, const BoundSql& statement) {
    if (!db || statement.sql.empty()) {
        code_ = SQLITE_MISUSE;
        return;
    }
    const char* tail = nullptr;
    code_ = sqlite3_prepare_v2(db, statement.sql.data(), static_cast<int>(statement.sql.size()),
                               &stmt_, &tail);
    if (code_ != SQLITE_OK) return;
    // One statement: a second one after it would silently not run.
    const std::string_view rest(tail, statement.sql.data() + statement.sql.size() - tail);
    if (!stmt_ || rest.find_first_not_of(" \t\r\n;") != std::string_view::npos) {
        code_ = SQLITE_MISUSE;
        return;
    }
    code_ = BindValues(stmt_, statement.values);
}

PreparedSql::~PreparedSql() { sqlite3_finalize(stmt_); }

bool ExecBound(Database& db, const BoundSql& statement) {
    std::lock_guard lock(db.Mutex());
    if (!db.Handle()) return false;
    PreparedSql prepared(db.Handle(), statement);
    int rc = prepared.code();
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
        }
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    db.RecordResult(rc);
    return rc == SQLITE_OK;
}

}  // namespace vela
