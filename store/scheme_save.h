#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bound_sql.h"
#include "scheme_statement.h"
#include "statement_run.h"

namespace vela {

class Database;

// A scheme to be written through the editor's save statement, with whether it is
// ticked for monitoring (isdo), which that statement leaves alone on an update
// and sets to "1" on an insert.
struct SchemeSave {
    SchemeForm form;  // form.id is the editor's text, which only ExecuteFormSave reads
    bool ticked = true;
    int64_t rowId = 0;  // the row ExecuteSchemeSaves updates; 0 inserts a new row
};

// Ticks a scheme for monitoring, or clears its tick; the id is bound.
BoundSql SchemeTickStatement(int64_t schemeId, bool ticked);
// Removes a scheme's row, the id bound; the articles it found stay.
BoundSql RemoveSchemeStatement(int64_t schemeId);

// How a group of saves ended: on success the id of every row written, in order
// (the new id for an insert).
struct SchemeSavesOutcome {
    StatementOutcome outcome;
    std::vector<int64_t> ids;
    std::string failedStatement;  // the statement that failed, when one did, as shown
    // The id of a scheme whose row an update did not find (another program removed
    // it meanwhile); nothing was written. 0 otherwise.
    int64_t missingId = 0;
    // `stillAsRead` said the rows are no longer as the caller read them; nothing
    // was written.
    bool changedMeanwhile = false;
};

// Runs the save statement of every scheme (and its tick where it differs from what
// the save leaves), and writes its fields (table rule_field) for the row it wrote,
// in one transaction: all are written or none. An update that
// changes no row (its scheme is gone) fails the whole group, with `missingId`.
// Holds the connection for the whole transaction; another program's lock is
// waited for up to the connection's busy time-out. `stillAsRead`, when given, is
// asked first inside the transaction (reading through `db`): false rolls back
// and writes nothing, so a row another program changed since the caller read it
// is not overwritten.
SchemeSavesOutcome ExecuteSchemeSaves(Database& db, const std::vector<SchemeSave>& saves,
                                      const std::function<bool()>& stillAsRead = {});

// The editor's save of its form: the save statement and the form's fields, the
// tick left as it is (an insert ticks the new row), kept only when it changed
// exactly one row. Not ok, with code 0 and no change, when the scheme it updates
// is gone.
StatementOutcome ExecuteFormSave(Database& db, const SchemeForm& form);

// Runs `statements` (one statement each, values bound) in one transaction: all
// take effect or none.
StatementOutcome ExecuteInTransaction(Database& db, const std::vector<BoundSql>& statements);

}  // namespace vela
