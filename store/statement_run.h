#pragma once

#include <string>
#include <vector>

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

// Records runs' articles at once: runs every statement of `inserts`, then every
// one of `updates` (the schemes' rows with their markers), in one transaction, so
// that either all of them are kept or none. `stored[i]` tells whether insert i
// added a row (an insert may add none by design). Not ok when nothing was kept.
StatementOutcome ExecuteRecords(Database& db, const std::vector<std::string>& inserts,
                                const std::vector<std::string>& updates, std::vector<bool>& stored);

}  // namespace vela
