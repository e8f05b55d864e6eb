#include <string>

#include "commands.h"
#include "console_text.h"
#include "engine/keyword_filter.h"
#include "engine/scheme_run.h"
#include "engine/stored_fields.h"
#include "engine/record_plan.h"
#include "stop_signal.h"
#include "store/database.h"
#include "store/list_statements.h"
#include "store/sql_clean.h"
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

// A match's title as a monitoring run would record it, as the runner prints a
// stored title.
std::string ShownTitle(const Scheme& scheme, const MatchRecord& match, const std::string& region) {
    return StoredText(RecordedTitle(scheme, match, region));
}

}  // namespace

int TestCommand(const CliOptions& options, Database& db, const Console& console) {
    TextTable rows;
    if (!ReadRows(db, SchemeRowQuery(options.schemeId), rows) || rows.empty()) {
        PrintError(console, "no scheme with id " + std::to_string(options.schemeId));
        return kExitUsage;
    }
    Scheme scheme = SchemeFromCells(rows[0]);
    if (!LoadSchemeFields(db, scheme)) {
        PrintError(console, "cannot read the keywords of scheme " +
                                std::to_string(options.schemeId) + " from " + db.Path());
        return kExitUsage;
    }
    return PrintRuleTest(scheme, console);
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
    int dropped = 0;
    for (std::size_t m = 0; m < run.matches.size(); ++m) {
        const bool drop = m < run.droppedMatches.size() && run.droppedMatches[m];
        dropped += drop ? 1 : 0;
        std::fprintf(console.out, "match %zu%s\n", m + 1, drop ? " (dropped by keywords)" : "");
        // The whole match, then each capturing group.
        for (int k = 0; k <= run.groupCount; ++k) {
            std::fprintf(console.out, "  [%d] %s\n", k,
                         ConsoleField(SubMatchText(run.matches[m], run.region, k)).c_str());
        }
        // Clean titles store a title other than its group's text: show what would
        // be stored.
        if (scheme.fields.cleanTitles) {
            std::fprintf(console.out, "  title: %s\n",
                         ConsoleField(ShownTitle(scheme, run.matches[m], run.region)).c_str());
        }
    }
    // With keywords, how many they drop, none included; without, the output is as it
    // always was.
    if (dropped > 0 || !KeywordLines(scheme.fields.include).empty() ||
        !KeywordLines(scheme.fields.exclude).empty()) {
        std::fprintf(console.out, "%d of %zu matches would be dropped by keywords\n", dropped,
                     run.matches.size());
    }
    std::fflush(console.out);
    if (run.noAnswer) {
        PrintError(console, "no answer from " + ConsoleField(scheme.url) +
                                (run.fetchFailureText.empty() ? "" : ": " + run.fetchFailureText));
    } else if (!run.fetchFailureText.empty()) {
        PrintError(console, ConsoleField(scheme.url) + ": " + run.fetchFailureText);
    }
    // Already UTF-8, naming the keyword.
    if (!run.keywordProblem.empty()) PrintError(console, run.keywordProblem);
    // A pattern that does not compile is the error, whatever the page held.
    if (!run.patternError.empty()) {
        PrintError(console, "invalid pattern: " + ConsoleField(run.patternError));
    } else if (!run.noAnswer && run.regionEmpty) {
        PrintError(console, kRegionEmptyText);
    } else if (!run.noAnswer && run.matches.empty()) {
        PrintError(console, "匹配结果为0,请检查正则匹配规则!");
    }
    return run.failed() || run.matches.empty() || !run.keywordProblem.empty() ? kExitSchemeFailed
                                                                              : kExitOk;
}

}  // namespace vela
