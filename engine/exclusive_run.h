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

// The recording half of a run that CheckScheme made with `checked`, under the
// database's run lock: waits for the lock as above, reads the scheme's row anew
// and records the run against it in one transaction (RecordCheckedRun). When
// another program moved the marker since the page was fetched and the page does
// not hold the new marker, the page is older than what is stored and nothing is
// recorded (`run.stale`); so too when the scheme's row is gone.
void RecordExclusively(const Scheme& checked, Database& db, RunReport& report, SchemeRun& run);

}  // namespace vela
