#pragma once

#include <string>

namespace vela {

class Database;

// How one statement (or one recorded article) ended: the SQLite result code of
// its own run, read under the same lock so that no other thread's statement can
// come between.
struct StatementOutcome {
    bool ok = false;
    int code = 0;
    int changes = 0;  // rows the statement (the insert of a record) changed
};

// Runs one statement text.
StatementOutcome ExecuteStatement(Database& db, const std::string& sql);

// Records one article: runs `insert` and `marker` (the statement that moves the
// scheme's last-article marker past it) in one transaction, so that a crash or a
// stop can never leave the article stored without its marker, or the marker moved
// without the article. Not ok when nothing was kept; the code is the one of the
// step that failed. An empty `marker` leaves the marker as it is.
StatementOutcome ExecuteRecord(Database& db, const std::string& insert, const std::string& marker);

}  // namespace vela
