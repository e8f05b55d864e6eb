#pragma once

#include <string>

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
// When the lock cannot be taken at all (its file cannot be opened or locked) the
// scheme does not run unguarded: the result carries `lockProblem` and nothing else.
SchemeRun MonitorSchemeExclusively(const Scheme& scheme, Database& db,
                                   const MonitorTimings& timings, RunReport& report);

// Whether runs on `db` can be guarded, asked before a cycle starts: one attempt at
// the run lock, let go at once. Empty when it can be taken (or another program
// holds it now); otherwise the line naming the lock file and the reason.
std::string RunLockProblem(const Database& db);

}  // namespace vela
