#include "statement_run.h"

#include <sqlite3.h>

#include <mutex>

#include "database.h"

namespace vela {

StatementOutcome ExecuteStatement(Database& db, const std::string& sql) {
    std::lock_guard lock(db.Mutex());
    StatementOutcome outcome;
    outcome.ok = db.ExecSql(sql);
    outcome.code = db.LastErrorCode();
    if (outcome.ok && db.Handle()) outcome.changes = sqlite3_changes(db.Handle());
    return outcome;
}

StatementOutcome ExecuteRecord(Database& db, const std::string& insert, const std::string& marker) {
    std::lock_guard lock(db.Mutex());
    StatementOutcome outcome;
    if (!db.ExecSql("begin immediate")) {
        outcome.code = db.LastErrorCode();
        return outcome;
    }
    outcome.ok = db.ExecSql(insert);
    outcome.code = db.LastErrorCode();
    if (outcome.ok) outcome.changes = sqlite3_changes(db.Handle());
    if (outcome.ok && ((!marker.empty() && !db.ExecSql(marker)) || !db.ExecSql("commit"))) {
        outcome.ok = false;
        outcome.code = db.LastErrorCode();
    }
    if (!outcome.ok) {
        db.ExecSql("rollback");
        outcome.changes = 0;
    }
    db.RecordResult(outcome.code);
    return outcome;
}

StatementOutcome ExecuteRecords(Database& db, const std::vector<std::string>& inserts,
                                const std::vector<std::string>& updates,
                                std::vector<bool>& stored) {
    std::lock_guard lock(db.Mutex());
    stored.assign(inserts.size(), false);
    StatementOutcome outcome;
    if (!db.ExecSql("begin immediate")) {
        outcome.code = db.LastErrorCode();
        return outcome;
    }
    outcome.ok = true;
    for (std::size_t i = 0; i < inserts.size() && outcome.ok; ++i) {
        outcome.ok = db.ExecSql(inserts[i]);
        if (outcome.ok && sqlite3_changes(db.Handle()) > 0) {
            stored[i] = true;
            ++outcome.changes;
        }
    }
    for (std::size_t i = 0; i < updates.size() && outcome.ok; ++i) {
        outcome.ok = db.ExecSql(updates[i]);
    }
    outcome.ok = outcome.ok && db.ExecSql("commit");
    outcome.code = db.LastErrorCode();
    if (!outcome.ok) {
        db.ExecSql("rollback");
        stored.assign(inserts.size(), false);
        outcome.changes = 0;
    }
    db.RecordResult(outcome.code);
    return outcome;
}

}  // namespace vela
