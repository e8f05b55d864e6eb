#pragma once

#include <string>
#include <vector>

#include "bound_sql.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vela {

class Database;

using TextTable = std::vector<std::vector<std::string>>;

// The one query object shared by the list fills: at most one compiled select and
// the row count measured for it. Every call fails or yields nothing when no
// statement is held or the connection has been closed since it was prepared.
class QueryCursor {
public:
    QueryCursor() = default;
    ~QueryCursor();
    QueryCursor(const QueryCursor&) = delete;
    QueryCursor& operator=(const QueryCursor&) = delete;

    // Compiles `query` with its values bound; a plain text converts to one.
    bool PrepareQuery(const BoundSql& query, Database& db);
    bool CountRows();
    int RowCount() const { return rowCount_; }
    int ColumnCount() const;
    std::vector<std::string> ColumnNames() const;
    // RowCount() rows of ColumnCount() cells, NULL read as the empty text.
    TextTable AllRowsAsText(bool withHeader);

private:
    bool Usable() const;
    void Finalize();

    Database* db_ = nullptr;
    sqlite3* preparedOn_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    int rowCount_ = 0;
};

}  // namespace vela
