#pragma once

#include "monitor_timings.h"
#include "run_report.h"
#include "scheme.h"
#include "scheme_run.h"

namespace vela {

class Database;

// How often a run waiting for another program's scheme run looks again.
inline constexpr int kRunLockRetryMs = 100;

// A monitoring run of `scheme` that no other program working on the same database
// file overlaps: waits for the database's run lock (in pauses of the report, so a
// stop ends the wait), reads the scheme's row anew once it holds it, since another
// program may have moved its marker meanwhile, and runs MonitorScheme on it. When
// the row cannot be read (gone, or a query that fails) `scheme` runs as given.
SchemeRun MonitorSchemeExclusively(const Scheme& scheme, Database& db,
                                   const MonitorTimings& timings, RunReport& report);

// A run that CheckScheme made, with the scheme it checked.
struct CheckedRun {
    const Scheme* checked;
    SchemeRun* run;
};

// The recording half of runs that CheckScheme made, under the database's run
// lock: waits for the lock as above, reads each scheme's row anew and records the
// runs against them in one transaction (RecordCheckedRuns). When another program
// moved a marker since its page was fetched and the page does not hold the new
// marker, the page is older than what is stored and nothing of it is recorded
// (`run.stale`); so too when the scheme's row is gone.
void RecordExclusively(const std::vector<CheckedRun>& runs, Database& db, RunReport& report);

}  // namespace vela
