#pragma once

#include <string>
#include <vector>

#include "fetch/http_fetch.h"
#include "monitor_timings.h"
#include "page_regex.h"
#include "run_report.h"
#include "scheme.h"

namespace vela {

class Database;

// What one run of a scheme met. The error flags are the conditions that write
// the status box's error lines.
struct SchemeRun {
    bool stopped = false;   // a stop (or the program's end) cut the run short
    bool noAnswer = false;  // the fetch brought no byte
    // Why the page is missing or incomplete (a cut page is still judged), and the
    // same in English naming the limit at work, for the runner's error line.
    FetchFailure fetchFailure = FetchFailure::kNone;
    std::string fetchFailureText;
    bool markerMissing = false;  // monitoring: the last article's marker was not in the page
    bool regionEmpty = false;    // nothing between the region's markers
    std::string region;
    int groupCount = 0;  // capturing groups of the pattern
    std::vector<MatchRecord> matches;
    int stored = 0;  // articles recorded
    // Monitoring a scheme that has seen no article yet: its marker is missing by
    // nature, and the page is stored whole.
    bool firstRun = false;
    // A checked page that was not recorded: another program moved the scheme's
    // marker since the page was fetched, and the page does not hold the new
    // marker (it is older than what was stored), or the scheme is gone.
    bool stale = false;
    int recordFailure = 0;  // the SQLite code when recording a checked run failed
    // The pattern does not compile: Boost's message (GBK, may quote the pattern).
    // Nothing matches then, and that is this error, not an empty page.
    std::string patternError;
    // The database's run lock could not be taken (MonitorSchemeExclusively): the
    // line naming the lock file. Nothing ran.
    std::string lockProblem;
    // CompareArticleId: how many matches have an id group that is empty or not a
    // number (read as 0), and the title of the first of them (GBK).
    int unnumberedIds = 0;
    std::string unnumberedIdTitle;
    // New articles the scheme's keywords dropped: not stored, but seen, so the
    // marker (or the highest id) moved past them.
    int dropped = 0;
    // A rule test: for each of `matches`, whether the keywords would drop it.
    std::vector<bool> droppedMatches;
    // A keyword that cannot be used (UTF-8, naming it): nothing is recorded.
    std::string keywordProblem;

    bool failed() const {
        return noAnswer || markerMissing || regionEmpty || fetchFailure != FetchFailure::kNone ||
               !keywordProblem.empty();
    }
};

// A monitoring run of `scheme`: fetch the page, cut the region (its markers
// chosen by the judgement mode), match the pattern, and record the new articles,
// each with its marker in one transaction, then update the scheme's row. After a
// stop it starts no request and runs no statement.
SchemeRun MonitorScheme(const Scheme& scheme, Database& db, const MonitorTimings& timings,
                        RunReport& report);

// The first half of a monitoring run, which needs no database: fetch the page,
// cut the region between the scheme's own markers and find the matches that the
// judgement needs; reports the error lines as MonitorScheme does. The page's
// memory is given back once the region is cut.
SchemeRun CheckScheme(const Scheme& scheme, const MonitorTimings& timings, RunReport& report);

// The second half, for runs that CheckScheme made: judges each run's matches
// against its scheme's row as it is now (`current[i]` for `runs[i]`) and records
// every new article of them all, with each scheme's row, in one transaction: all
// of it or nothing, so that each scheme's articles and its marker always go
// together. When the transaction fails, every run gets its `recordFailure`. The
// articles are reported once the transaction is committed. Runs nothing after a
// stop.
void RecordCheckedRuns(const std::vector<const Scheme*>& current,
                       const std::vector<SchemeRun*>& runs, Database& db, RunReport& report);

// A rule test of `scheme`: fetch, cut between the scheme's own markers and match,
// and judge each match's title (as it would be recorded) by the keywords;
// records nothing.
SchemeRun TestScheme(const Scheme& scheme, const MonitorTimings& timings, RunReport& report);

// The limits of a scheme's fetch; the stop is the caller's.
FetchOptions FetchLimits(const MonitorTimings& timings);

// The status box's line for a fetch that failed (UTF-8): what went wrong, naming
// the limit at work; `gotPart` when part of the page arrived all the same.
std::string FetchFailureStatusText(FetchFailure failure, const FetchOptions& limits, bool gotPart);

// The status lines of the keywords (UTF-8, as the two below): a keyword that
// cannot be used (`problem` as KeywordProblem says it), and how many new articles
// were stored and how many the keywords dropped.
std::string KeywordProblemStatusText(const std::string& problem);
std::string DroppedStatusText(int stored, int dropped);

// The error lines a run writes to the status box (UTF-8; the status box gets them
// in GBK after a line break).
inline constexpr const char* kMarkerMissingText = "出错！无法在源码中找到最后文章标记！";
inline constexpr const char* kRegionEmptyText = "出错！截取源码为空，请检查方案的采集区域！";

// The rule tester refuses addresses of this site.
inline constexpr const char* kBlockedSiteToken = "lanqi.example";
// True when `url` (GBK) is an address of that site.
bool IsBlockedSite(const std::string& url);

}  // namespace vela
