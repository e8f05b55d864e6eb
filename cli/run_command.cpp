#include <string>
#include <vector>

#include "commands.h"
#include "concurrent_checks.h"
#include "console_text.h"
#include "cycle_notifier.h"
#include "engine/exclusive_run.h"
#include "engine/now_text.h"
#include "engine/scheme_run.h"
#include "engine/stored_fields.h"
#include "fetch/render_slots.h"
#include "json_lines.h"
#include "stop_signal.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"

namespace vela {
namespace {

// The progress line on a terminal: how many schemes are done, in flight and
// failed, one line redrawn as they change. An article or error printed meanwhile
// clears it first and puts it back afterwards.
class Progress {
public:
    explicit Progress(const Console& console) : console_(console) {}

    void Update(const CheckCounts& counts) {
        counts_ = counts;
        Show();
    }
    void Failed() {
        ++failed_;
        Show();
    }
    void Dropped(int dropped) {
        dropped_ += dropped;
        if (dropped > 0) Show();
    }
    void Interrupt() {
        if (shown_) std::fputs("\r\033[K", console_.err);
        shown_ = false;
    }
    void Resume() { Show(); }
    // The last state stays on screen, ended by a line break.
    void End() {
        if (!shown_) return;
        std::fputc('\n', console_.err);
        std::fflush(console_.err);
        shown_ = false;
    }

private:
    void Show() {
        if (!console_.progress || counts_.total == 0) return;
        std::fprintf(console_.err, "\r\033[K[%d/%d] %d in flight, %d failed", counts_.done,
                     counts_.total, counts_.inFlight, failed_);
        if (dropped_ > 0) std::fprintf(console_.err, ", %d filtered by keywords", dropped_);
        std::fflush(console_.err);
        shown_ = true;
    }

    const Console& console_;
    CheckCounts counts_;
    int failed_ = 0;
    int dropped_ = 0;  // new articles the keywords dropped, over the cycle
    bool shown_ = false;
};

// The runner's side of a scheme's run: each stored article printed as it is
// stored; the stop is the signal's.
// The line of a run lock that cannot be taken: without it another program on the
// same file could store every article a second time, so nothing runs.
std::string UnguardedText(const std::string& problem) {
    return problem +
           "; not running unguarded, since another program on this database could "
           "store the same articles again";
}

// The line of a wait for the run lock: the window or another vela-cli is running a
// scheme of this database. It has no time limit, as that run has its own.
std::string RunLockWaitText(const std::string& lockPath) {
    return "waiting for the run lock " + lockPath +
           ": another program (the window, or another vela-cli) is checking a scheme of this "
           "database";
}

class ConsoleReport : public RunReport {
public:
    ConsoleReport(const CliOptions& options, const Console& console, Progress& progress)
        : options_(options), console_(console), progress_(progress) {}

    bool Stopped() override { return StopRequested(); }
    // The status lines are the error lines, printed from the run's outcome.
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    // A refused recording is each run's recordFailure.
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme& scheme, const ArticleInsert& article,
                  const std::string& time) override {
        progress_.Interrupt();
        const std::string line =
            options_.json ? RecordedJson(scheme, article, time) : RecordedLine(scheme, article);
        std::fprintf(console_.out, "%s\n", line.c_str());
        std::fflush(console_.out);
        progress_.Resume();
    }
    // Nothing on screen waits for the pause between two articles; only the wait
    // for another program's run of the scheme comes here.
    void Pause(int milliseconds) override { WaitUnlessStopped(milliseconds); }
    void WaitingForRunLock(const std::string& lockPath) override {
        progress_.Interrupt();
        PrintError(console_, RunLockWaitText(lockPath));
        progress_.Resume();
    }

private:
    const CliOptions& options_;
    const Console& console_;
    Progress& progress_;
};

// The errors of one run, each one line; empty when it went well.
// Matches without a numeric id are said, but they fail nothing: the articles with
// one were recorded, and a list holding an advertisement row would otherwise fail
// every run of its scheme.
std::string UnnumberedIdsNote(const SchemeRun& run) {
    if (run.unnumberedIds == 0) return std::string();
    return "warning: " + std::to_string(run.unnumberedIds) +
           " article(s) with an empty or non-numeric id, compared as 0 (first: " +
           ConsoleField(run.unnumberedIdTitle) + ")";
}

// What a run stored and what its keywords dropped, said only when they dropped
// something: a scheme whose keywords match nothing would otherwise look silent.
std::string DroppedNote(const SchemeRun& run) {
    if (run.dropped == 0) return std::string();
    return std::to_string(run.stored) + (run.stored == 1 ? " new article, " : " new articles, ") +
           std::to_string(run.dropped) + " filtered by keywords";
}

std::vector<std::string> RunErrors(const Scheme& scheme, const SchemeRun& run) {
    std::vector<std::string> errors;
    // A page that never came has neither the marker nor the region: one line says it.
    if (run.noAnswer) {
        errors.push_back("no answer from " + ConsoleField(scheme.url) +
                         (run.fetchFailureText.empty() ? "" : ": " + run.fetchFailureText));
    } else {
        // A page cut short or a redirect not followed: the cause comes first, since
        // it explains any missing marker or region.
        if (!run.fetchFailureText.empty()) {
            errors.push_back(ConsoleField(scheme.url) + ": " + run.fetchFailureText);
        }
        if (run.markerMissing && !run.firstRun) errors.push_back(kMarkerMissingText);
        if (run.regionEmpty) errors.push_back(kRegionEmptyText);
    }
    if (!run.patternError.empty()) {
        errors.push_back("invalid pattern: " + ConsoleField(run.patternError));
    }
    // Already UTF-8, naming the keyword.
    if (!run.keywordProblem.empty()) errors.push_back(run.keywordProblem);
    if (run.recordFailure != 0) {
        errors.push_back("the database refused a statement (SQLite code " +
                         std::to_string(run.recordFailure) + ")");
    }
    return errors;
}

// How a cycle ended.
struct CycleEnd {
    bool allRan = true;       // no scheme failed
    bool readFailed = false;  // the schemes could not be read
    // The run cannot go on at all (the run lock not to be had): the line to print,
    // and the run ends with exit status 2.
    std::string fatal;
};

// One cycle over the ticked schemes: checked concurrently, each batch of finished
// checks recorded in one transaction under the run lock.
// `outcomes`, when given, receives the outcome of each scheme that ran to its end.
CycleEnd RunCycle(const CliOptions& options, Database& db, const Console& console,
                  const MonitorTimings& timings,
                  std::vector<SchemeCheckResult>* outcomes = nullptr) {
    CycleEnd end;
    TextTable rows;
    if (!ReadRows(db, kSchemesInIdOrderQuery, rows)) {
        end.readFailed = true;
        end.allRan = false;
        return end;
    }
    std::vector<Scheme> ticked;
    for (const auto& row : rows) {
        if (row.size() > 17 && row[17] == "1") ticked.push_back(SchemeFromCells(row));
    }
    // Without their keywords the schemes would store what the user filtered out.
    if (!LoadSchemeFields(db, ticked)) {
        end.readFailed = true;
        end.allRan = false;
        return end;
    }
    if (ticked.empty() && !options.quiet) {
        std::fputs("vela-cli: no scheme is ticked\n", console.err);
    }
    Progress progress(console);
    ConcurrentChecks checks(CheckLimits{options.jobs, options.perHost}, timings,
                            [] { return StopRequested(); });
    const StopWatcher watcher([&checks] { checks.Stop(); });
    checks.Run(
        ticked,
        [&](std::vector<FinishedCheck>& batch) {
            if (!end.fatal.empty()) return;
            std::vector<CheckedRun> runs;
            for (FinishedCheck& check : batch) runs.push_back({&ticked[check.index], &check.run});
            ConsoleReport report(options, console, progress);
            RecordExclusively(runs, db, report);
            for (const FinishedCheck& check : batch) {
                const SchemeRun& run = check.run;
                if (run.stopped || StopRequested()) return;
                if (!run.lockProblem.empty()) {
                    // Never unguarded: the whole run ends here.
                    end.fatal = UnguardedText(run.lockProblem);
                    checks.Stop();
                    return;
                }
                const Scheme& scheme = ticked[check.index];
                const std::vector<std::string> errors = RunErrors(scheme, run);
                if (outcomes) outcomes->push_back({scheme.id, errors});
                const std::string note = UnnumberedIdsNote(run);
                if (!note.empty()) {
                    progress.Interrupt();
                    PrintError(console, "[" + ConsoleField(scheme.name) + "] " + note);
                    progress.Resume();
                }
                if (run.dropped > 0) {
                    progress.Interrupt();
                    if (options.json) {
                        std::fprintf(console.out, "%s\n",
                                     OutcomeJson(scheme, run.stored, run.dropped).c_str());
                        std::fflush(console.out);
                    } else if (!options.quiet) {
                        PrintError(console,
                                   "[" + ConsoleField(scheme.name) + "] " + DroppedNote(run));
                    }
                    progress.Dropped(run.dropped);
                    progress.Resume();
                }
                if (errors.empty()) continue;
                end.allRan = false;
                progress.Interrupt();
                const std::string name = ConsoleField(scheme.name);
                for (const std::string& error : errors) {
                    PrintError(console, "[" + name + "] " + error);
                }
                progress.Failed();
            }
        },
        [&progress](const CheckCounts& counts) { progress.Update(counts); });
    progress.End();
    return end;
}

// The runner's limits: no pause between two recorded articles (nothing on screen
// waits for them), and the browser's as the command line sets them.
MonitorTimings RunnerTimings(const CliOptions& options) {
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    timings.renderLimitMs = options.renderLimitSeconds * 1000;
    return timings;
}

// What stands in the way of a cycle before any page is fetched: a database that
// cannot be written (every insert would fail after all the requests), a run lock
// that cannot be taken, or a channel no service takes (the articles stored would
// reach none). Empty when nothing does; then the channels are ready.
std::string CycleObstacle(const Database& db, CycleNotifier& notifier) {
    const std::string readOnly = db.WriteProblem();
    if (!readOnly.empty()) return "cannot write to the database " + db.Path() + ": " + readOnly;
    const std::string lock = RunLockProblem(db);
    if (!lock.empty()) return UnguardedText(lock);
    return notifier.BeforeCycle();
}

}  // namespace

std::string RunnerObstacle(const CliOptions& options, Database& db, const Console& console) {
    CycleNotifier notifier(options.notify, db, console);
    return CycleObstacle(db, notifier);
}

CycleResult RunOneCycle(const CliOptions& options, Database& db, const Console& console) {
    const MonitorTimings timings = RunnerTimings(options);
    SetRenderSlots(options.renders);
    CycleResult result;
    // The channels of notify.conf hear of this cycle's articles as of any other.
    CycleNotifier notifier(options.notify, db, console);
    result.obstacle = CycleObstacle(db, notifier);
    if (!result.obstacle.empty()) {
        result.allRan = false;
        result.endedAt = NowText();
        return result;
    }
    const CycleEnd end = RunCycle(options, db, console, timings, &result.schemes);
    result.allRan = end.allRan && end.fatal.empty() && notifier.AfterCycle();
    result.readFailed = end.readFailed;
    if (!end.fatal.empty()) PrintError(console, end.fatal);
    result.endedAt = NowText();
    return result;
}

int RunCommand(const CliOptions& options, Database& db, const Console& console) {
    const MonitorTimings timings = RunnerTimings(options);
    SetRenderSlots(options.renders);
    bool allRan = true;
    CycleNotifier notifier(options.notify, db, console);
    for (int cycle = 0;; ++cycle) {
        std::string fatal = CycleObstacle(db, notifier);
        if (fatal.empty()) {
            CycleEnd end = RunCycle(options, db, console, timings);
            allRan = allRan && end.allRan;
            // A delivery that failed counts as a failure of the run; its message
            // waits in the outbox.
            if (!notifier.AfterCycle()) allRan = false;
            fatal = std::move(end.fatal);
            if (end.readFailed) {
                // Later cycles of --every go on: another program may hold the file
                // for a while.
                if (cycle == 0)
                    fatal = "cannot read the schemes of " + db.Path();
                else
                    PrintError(console, "cannot read the schemes of " + db.Path());
            }
        }
        // A stop that cut a wait for a lock short ends the run by its signal below.
        if (!fatal.empty() && StopRequested()) break;
        if (!fatal.empty()) {
            PrintError(console, fatal);
            return kExitUsage;
        }
        if (options.everySeconds <= 0 || StopRequested()) break;
        if (!WaitUnlessStopped(static_cast<long long>(options.everySeconds) * 1000)) break;
    }
    if (StopRequested()) EndByStopSignal();
    return allRan ? kExitOk : kExitSchemeFailed;
}

}  // namespace vela
