#include <string>

#include "commands.h"
#include "console_text.h"
#include "engine/scheme_run.h"
#include "stop_signal.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/read_rows.h"

namespace vela {
namespace {

// Reports nothing while it goes: the outcome is printed whole afterwards.
class QuietReport : public RunReport {
public:
    bool Stopped() override { return StopRequested(); }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int milliseconds) override { WaitUnlessStopped(milliseconds); }
};

}  // namespace

int TestCommand(const CliOptions& options, Database& db, const Console& console) {
    TextTable rows;
    if (!ReadRows(db, SchemeRowQuery(options.schemeId), rows) || rows.empty()) {
        PrintError(console, "no scheme with id " + std::to_string(options.schemeId));
        return kExitUsage;
    }
    return PrintRuleTest(SchemeFromCells(rows[0]), console);
}

int PrintRuleTest(const Scheme& scheme, const Console& console) {
    if (IsBlockedSite(scheme.url)) {
        PrintError(console, "此站不允许监控!");
        return kExitSchemeFailed;
    }
    QuietReport report;
    const SchemeRun run = TestScheme(scheme, MonitorTimings{}, report);
    if (run.stopped) {
        EndByStopSignal();
        return kExitSchemeFailed;
    }
    std::fprintf(console.out, "region: %zu bytes\n", run.region.size());
    for (std::size_t m = 0; m < run.matches.size(); ++m) {
        std::fprintf(console.out, "match %zu\n", m + 1);
        // The whole match, then each capturing group.
        for (int k = 0; k <= run.groupCount; ++k) {
            std::fprintf(console.out, "  [%d] %s\n", k,
                         ConsoleField(SubMatchText(run.matches[m], run.region, k)).c_str());
        }
    }
    std::fflush(console.out);
    if (run.noAnswer) {
        PrintError(console, "no answer from " + ConsoleField(scheme.url) +
                                (run.fetchFailureText.empty() ? "" : ": " + run.fetchFailureText));
    } else if (!run.fetchFailureText.empty()) {
        PrintError(console, ConsoleField(scheme.url) + ": " + run.fetchFailureText);
    }
    // A pattern that does not compile is the error, whatever the page held.
    if (!run.patternError.empty()) {
        PrintError(console, "invalid pattern: " + ConsoleField(run.patternError));
    } else if (!run.noAnswer && run.regionEmpty) {
        PrintError(console, kRegionEmptyText);
    } else if (!run.noAnswer && run.matches.empty()) {
        PrintError(console, "匹配结果为0,请检查正则匹配规则!");
    }
    return run.failed() || run.matches.empty() ? kExitSchemeFailed : kExitOk;
}

}  // namespace vela
