#pragma once

#include <string>

#include "monitor_timings.h"
#include "run_report.h"
#include "scheme.h"
#include "scheme_run.h"

namespace vela {

class Database;

// How often a run waiting for another program's scheme run looks again, and after
// how many looks its report hears of the wait.
inline constexpr int kRunLockRetryMs = 100;
inline constexpr int kRunLockTellAfterTries = 10;

// Why a run recorded nothing because the scheme's fields (its keywords) could not
// be read from table rule_field: `SchemeRun::keywordProblem` (UTF-8), and the
// status line (UTF-8, given to the report in GBK).
inline constexpr const char* kFieldsUnreadText =
    "cannot read the scheme's keywords from the database; nothing recorded";
inline constexpr const char* kFieldsUnreadStatusText = "出错！无法读取方案的关键词，没有记录文章！";

// A monitoring run of `scheme` that no other program working on the same database
// file overlaps: waits for the database's run lock (in pauses of the report, so a
// stop ends the wait), reads the scheme's row anew once it holds it, since another
// program may have moved its marker meanwhile, and runs MonitorScheme on it. When
// the row cannot be read (gone, or a query that fails) `scheme` runs as given.
// Its fields are read anew with it; when they cannot be, nothing runs and the
// result carries `keywordProblem` (kFieldsUnreadText).
// When the lock cannot be taken at all (its file cannot be opened or locked) the
// scheme does not run unguarded: the result carries `lockProblem` and nothing else.
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
// (`run.stale`); so too when the scheme's row is gone. A run whose scheme's fields
// cannot be read records nothing and carries `keywordProblem` (kFieldsUnreadText).
void RecordExclusively(const std::vector<CheckedRun>& runs, Database& db, RunReport& report);

// Whether runs on `db` can be guarded, asked before a cycle starts: one attempt at
// the run lock, let go at once. Empty when it can be taken (or another program
// holds it now); otherwise the line naming the lock file and the reason.
std::string RunLockProblem(const Database& db);

}  // namespace vela
