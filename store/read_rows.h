#pragma once

#include <string>
#include <vector>

#include "bound_sql.h"
#include "query_cursor.h"

namespace vela {

class Database;

// Every row `query` yields (its values bound), its cells as texts (NULL read as empty), read under
// the connection's lock with a query object of its own. `names` receives the column names when
// given. False when the query cannot be run.
bool ReadRows(Database& db, const BoundSql& query, TextTable& rows,
              std::vector<std::string>* names = nullptr);

}  // namespace vela
