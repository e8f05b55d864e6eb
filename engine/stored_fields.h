#pragma once

#include <vector>

#include "scheme.h"

namespace vela {

class Database;

// Gives `scheme` (read from its row of table rule) its fields from table
// rule_field. False when they cannot be read: a run must not go on without its
// keywords, or it would store what the user filtered out.
bool LoadSchemeFields(Database& db, Scheme& scheme);
// The same for many schemes with one read.
bool LoadSchemeFields(Database& db, std::vector<Scheme>& schemes);

}  // namespace vela
