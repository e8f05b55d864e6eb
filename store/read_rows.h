#pragma once

#include <string>
#include <vector>

#include "query_cursor.h"

namespace vela {

class Database;

// Every row `sql` yields, its cells as texts (NULL read as empty), read under the
// connection's lock with a query object of its own. `names` receives the column
// names when given. False when the query cannot be run.
bool ReadRows(Database& db, const std::string& sql, TextTable& rows,
              std::vector<std::string>* names = nullptr);

}  // namespace vela
