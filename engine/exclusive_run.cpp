#include "exclusive_run.h"

#include "fetch/encoding.h"
#include "record_plan.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"
#include "store/row_id.h"
#include "store/run_lock.h"
#include "stored_fields.h"

namespace vela {
namespace {

// The scheme's row as it is now; `gone` when the query found no row. When the row
// cannot be read (an id that is no row key, a query that fails) `scheme` stands
// as given.
Scheme CurrentRow(const Scheme& scheme, Database& db, bool* gone) {
    // A row the console gave the key 0 is read anew like any other.
    int64_t id = 0;
    if (scheme.id != "0" && !ParseRowId(scheme.id, id)) return scheme;
    TextTable rows;
    if (!ReadRows(db, SchemeRowQuery(id), rows)) return scheme;
    if (rows.size() != 1) {
        if (gone) *gone = rows.empty();
        return scheme;
    }
    return SchemeFromCells(rows[0]);
}

// The scheme as it is now, its fields read with it. False when they cannot be
// read: the run must not record without its keywords, or it would store what
// the user filtered out. The run then says so and records nothing.
bool CurrentScheme(const Scheme& scheme, Database& db, Scheme& now, SchemeRun& run,
                   RunReport& report, bool* gone = nullptr) {
    now = CurrentRow(scheme, db, gone);
    if (LoadSchemeFields(db, now)) return true;
    run.keywordProblem = kFieldsUnreadText;
    report.Status("\r\n" + Gbk(kFieldsUnreadStatusText));
    return false;
}

// Waits for the run lock in pauses of the report. Busy when a stop came first,
// Unavailable when the lock cannot be taken at all (never run unguarded).
RunLockState AwaitRunLock(RunLock& lock, RunReport& report) {
    int tries = 0;
    for (RunLockState state; (state = lock.TryLock()) != RunLockState::Held;) {
        if (state == RunLockState::Unavailable) return state;
        if (report.Stopped()) return RunLockState::Busy;
        if (++tries == kRunLockTellAfterTries) report.WaitingForRunLock(lock.LockPath());
        report.Pause(kRunLockRetryMs);
    }
    return RunLockState::Held;
}

bool MarkerMoved(const Scheme& before, const Scheme& now) {
    if (ToJudgeMode(now.type) == JudgeMode::CompareArticleId) return false;  // ids judge alone
    return before.lastMarker != now.lastMarker || before.lastLink != now.lastLink ||
           before.type != now.type;
}

}  // namespace

SchemeRun MonitorSchemeExclusively(const Scheme& scheme, Database& db,
                                   const MonitorTimings& timings, RunReport& report) {
    RunLock lock(db.Path());
    const RunLockState state = AwaitRunLock(lock, report);
    if (state != RunLockState::Held) {
        SchemeRun run;
        if (state == RunLockState::Unavailable) {
            run.lockProblem = lock.Problem();
        } else {
            run.stopped = true;
        }
        return run;
    }
    Scheme now;
    SchemeRun unread;
    if (!CurrentScheme(scheme, db, now, unread, report)) return unread;
    return MonitorScheme(now, db, timings, report);
}

void RecordExclusively(const std::vector<CheckedRun>& runs, Database& db, RunReport& report) {
    std::vector<CheckedRun> live;
    for (const CheckedRun& checked : runs) {
        if (!checked.run->stopped) live.push_back(checked);
    }
    if (live.empty()) return;
    RunLock lock(db.Path());
    const RunLockState state = AwaitRunLock(lock, report);
    if (state != RunLockState::Held) {
        for (const CheckedRun& checked : live) {
            if (state == RunLockState::Unavailable) {
                checked.run->lockProblem = lock.Problem();
            } else {
                checked.run->stopped = true;
            }
        }
        return;
    }
    std::vector<Scheme> current;
    current.reserve(live.size());
    std::vector<const Scheme*> schemes;
    std::vector<SchemeRun*> recorded;
    for (const CheckedRun& checked : live) {
        SchemeRun& run = *checked.run;
        bool gone = false;
        Scheme& now = current.emplace_back();
        if (!CurrentScheme(*checked.checked, db, now, run, report, &gone)) continue;
        if (gone) {
            run.stale = true;
            continue;
        }
        if (MarkerMoved(*checked.checked, now)) {
            if (FindMarkerMatch(now, run.region, run.matches) == kNoMarker) {
                run.stale = true;
                continue;
            }
            run.markerMissing = false;
        }
        schemes.push_back(&now);
        recorded.push_back(&run);
    }
    RecordCheckedRuns(schemes, recorded, db, report);
}

std::string RunLockProblem(const Database& db) {
    RunLock lock(db.Path());
    return lock.TryLock() == RunLockState::Unavailable ? lock.Problem() : std::string();
}

}  // namespace vela
