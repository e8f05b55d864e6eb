#include "statement_run.h"

#include <mutex>

#include "database.h"

namespace vela {

StatementOutcome ExecuteStatement(Database& db, const std::string& sql) {
    std::lock_guard lock(db.Mutex());
    StatementOutcome outcome;
    outcome.ok = db.ExecSql(sql);
    outcome.code = db.LastErrorCode();
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
    if (outcome.ok && (!db.ExecSql(marker) || !db.ExecSql("commit"))) {
        outcome.ok = false;
        outcome.code = db.LastErrorCode();
    }
    if (!outcome.ok) db.ExecSql("rollback");
    db.RecordResult(outcome.code);
    return outcome;
}

}  // namespace vela
