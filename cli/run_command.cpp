#include <string>
#include <vector>

#include "commands.h"
#include "console_text.h"
#include "cycle_notifier.h"
#include "engine/exclusive_run.h"
#include "engine/scheme_run.h"
#include "json_lines.h"
#include "stop_signal.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"

namespace vela {
namespace {

// The progress line of the scheme being checked, on a terminal: "[i/n] name …",
// completed by its outcome. An article or error printed meanwhile clears it first
// and puts it back afterwards.
class Progress {
public:
    explicit Progress(const Console& console) : console_(console) {}

    void Begin(int index, int count, const std::string& name) {
        if (!console_.progress) return;
        prefix_ = "[" + std::to_string(index) + "/" + std::to_string(count) + "] " + name;
        Show();
    }
    void Interrupt() {
        if (shown_) std::fputs("\r\033[K", console_.err);
        shown_ = false;
    }
    void Resume() {
        if (!prefix_.empty()) Show();
    }
    void End(const std::string& outcome) {
        if (!console_.progress) return;
        Interrupt();
        std::fprintf(console_.err, "%s: %s\n", prefix_.c_str(), outcome.c_str());
        std::fflush(console_.err);
        prefix_.clear();
    }

private:
    void Show() {
        std::fprintf(console_.err, "%s …", prefix_.c_str());
        std::fflush(console_.err);
        shown_ = true;
    }

    const Console& console_;
    std::string prefix_;
    bool shown_ = false;
};

// The runner's side of a scheme's run: each stored article printed as it is
// stored; the stop is the signal's.
class ConsoleReport : public RunReport {
public:
    ConsoleReport(const CliOptions& options, const Console& console, Progress& progress,
                  CycleNotifier& notifier)
        : options_(options), console_(console), progress_(progress), notifier_(notifier) {}

    bool Stopped() override { return StopRequested(); }
    // The status lines are the error lines, printed from the run's outcome.
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome& outcome) override {
        if (outcome.ok) return;
        statementFailed = true;
        failedCode = outcome.code;
    }
    void NewArticlesFound() override {}
    void Recorded(const Scheme& scheme, const ArticleInsert& article,
                  const std::string& time) override {
        progress_.Interrupt();
        const std::string line =
            options_.json ? RecordedJson(scheme, article, time) : RecordedLine(scheme, article);
        std::fprintf(console_.out, "%s\n", line.c_str());
        std::fflush(console_.out);
        progress_.Resume();
        notifier_.Recorded(scheme, article, time);
    }
    // Nothing on screen waits for the pause between two articles; only the wait
    // for another program's run of the scheme comes here.
    void Pause(int milliseconds) override { WaitUnlessStopped(milliseconds); }

    bool statementFailed = false;
    int failedCode = 0;

private:
    const CliOptions& options_;
    const Console& console_;
    Progress& progress_;
    CycleNotifier& notifier_;
};

// The errors of one run, each one line; empty when it went well.
std::vector<std::string> RunErrors(const Scheme& scheme, const SchemeRun& run,
                                   const ConsoleReport& report) {
    std::vector<std::string> errors;
    // A page that never came has neither the marker nor the region: one line says it.
    if (run.noAnswer) {
        errors.push_back("no answer from " + ConsoleField(scheme.url));
    } else {
        if (run.markerMissing && !run.firstRun) errors.push_back(kMarkerMissingText);
        if (run.regionEmpty) errors.push_back(kRegionEmptyText);
    }
    if (report.statementFailed) {
        errors.push_back("the database refused a statement (SQLite code " +
                         std::to_string(report.failedCode) + ")");
    }
    return errors;
}

// One cycle over the ticked schemes. False when a scheme failed.
bool RunCycle(const CliOptions& options, Database& db, const Console& console,
              const MonitorTimings& timings, CycleNotifier& notifier, bool& readFailed) {
    TextTable rows;
    if (!ReadRows(db, kSchemesInIdOrderQuery, rows)) {
        readFailed = true;
        return false;
    }
    std::vector<Scheme> ticked;
    for (const auto& row : rows) {
        if (row.size() > 17 && row[17] == "1") ticked.push_back(SchemeFromCells(row));
    }
    if (ticked.empty() && !options.quiet) {
        std::fputs("vela-cli: no scheme is ticked\n", console.err);
    }
    bool allRan = true;
    const int count = static_cast<int>(ticked.size());
    for (int i = 0; i < count && !StopRequested(); ++i) {
        const Scheme& scheme = ticked[i];
        const std::string name = ConsoleField(scheme.name);
        Progress progress(console);
        progress.Begin(i + 1, count, name);
        ConsoleReport report(options, console, progress, notifier);
        const SchemeRun run = MonitorSchemeExclusively(scheme, db, timings, report);
        if (run.stopped) {
            progress.End("stopped");
            break;
        }
        const std::vector<std::string> errors = RunErrors(scheme, run, report);
        if (errors.empty()) {
            progress.End(std::to_string(run.stored) + " new");
            continue;
        }
        allRan = false;
        progress.End("failed");
        for (const std::string& error : errors) PrintError(console, "[" + name + "] " + error);
    }
    return allRan;
}

}  // namespace

int RunCommand(const CliOptions& options, Database& db, const Console& console) {
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    bool allRan = true;
    CycleNotifier notifier(options.notify, db.Path(), console);
    for (int cycle = 0;; ++cycle) {
        bool readFailed = false;
        if (!RunCycle(options, db, console, timings, notifier, readFailed)) allRan = false;
        // A delivery that failed counts as a failure of the run; its message waits
        // in the outbox.
        if (!notifier.AfterCycle()) allRan = false;
        if (readFailed) {
            PrintError(console, "cannot read the schemes of " + db.Path());
            if (cycle == 0) return kExitUsage;
        }
        if (options.everySeconds <= 0 || StopRequested()) break;
        if (!WaitUnlessStopped(static_cast<long long>(options.everySeconds) * 1000)) break;
    }
    if (StopRequested()) EndByStopSignal();
    return allRan ? kExitOk : kExitSchemeFailed;
}

}  // namespace vela
