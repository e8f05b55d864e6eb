#include "exclusive_run.h"

#include <algorithm>

#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/run_lock.h"

namespace vela {
namespace {

// The id is the row's integer key as read from the database; anything else is
// never put into SQL.
bool IsRowKey(const std::string& id) {
    return !id.empty() && id.size() <= 19 &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Scheme CurrentScheme(const Scheme& scheme, Database& db) {
    if (!IsRowKey(scheme.id)) return scheme;
    TextTable rows;
    if (!ReadRows(db, SchemeRowQuery(scheme.id), rows) || rows.size() != 1) return scheme;
    return SchemeFromCells(rows[0]);
}

}  // namespace

SchemeRun MonitorSchemeExclusively(const Scheme& scheme, Database& db,
                                   const MonitorTimings& timings, RunReport& report) {
    RunLock lock(db.Path());
    for (RunLockState state; (state = lock.TryLock()) != RunLockState::Held;) {
        SchemeRun run;
        if (state == RunLockState::Unavailable) {
            run.lockProblem = lock.Problem();
            return run;
        }
        if (report.Stopped()) {
            run.stopped = true;
            return run;
        }
        report.Pause(kRunLockRetryMs);
    }
    return MonitorScheme(CurrentScheme(scheme, db), db, timings, report);
}

std::string RunLockProblem(const Database& db) {
    RunLock lock(db.Path());
    return lock.TryLock() == RunLockState::Unavailable ? lock.Problem() : std::string();
}

}  // namespace vela
