#include "read_rows.h"

#include <mutex>

#include "database.h"

namespace vela {

bool ReadRows(Database& db, const BoundSql& query, TextTable& rows,
              std::vector<std::string>* names) {
    std::lock_guard lock(db.Mutex());
    QueryCursor cursor;
    if (!cursor.PrepareQuery(query, db) || !cursor.CountRows()) return false;
    if (names) *names = cursor.ColumnNames();
    rows = cursor.AllRowsAsText(false);
    return true;
}

}  // namespace vela
