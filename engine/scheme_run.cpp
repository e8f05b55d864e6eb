#include "scheme_run.h"

#include <chrono>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/http_fetch.h"
#include "fetch/text_between.h"
#include "now_text.h"
#include "record_plan.h"

namespace vela {
namespace {

std::string Fetch(const Scheme& scheme, const MonitorTimings& timings, RunReport& report) {
    HttpFetchParams params;
    params.url = scheme.url;
    params.method = kHttpGet;
    params.cookie = scheme.cookie;
    params.headers = "User-Agent: " + scheme.userAgent;
    FetchOptions options;
    options.stopRequested = [&report] { return report.Stopped(); };
    options.connectTimeout = std::chrono::milliseconds(timings.connectTimeoutMs);
    options.stallTimeout = std::chrono::milliseconds(timings.stallTimeoutMs);
    options.totalTimeout = std::chrono::milliseconds(timings.transferLimitMs);
    return HttpFetch(params, options);
}

// The page as GBK text without CR LF pairs. A GBK body becomes the page in
// place; either way the body's memory is gone on return.
std::string PageText(bool gbk, std::string body) {
    return RemoveCrLf(gbk ? BytesToText(std::move(body)) : Utf8ToGbk(body));
}

// Fetches the page, cuts the region and matches the pattern. False when a stop
// cut the run short: a transfer cut short by a stop is not the page, and judging
// it would report a missing marker and an empty region that are not there.
bool CutAndMatch(const Scheme& scheme, bool monitoring, const MonitorTimings& timings,
                 RunReport& report, SchemeRun& run) {
    if (report.Stopped()) return false;
    std::string body = Fetch(scheme, timings, report);
    if (report.Stopped()) return false;
    run.noAnswer = body.empty();
    std::string page = PageText(scheme.gbk, std::move(body));
    if (report.Stopped()) return false;
    // The region is cut out of the page where it lies, between the scheme's own
    // markers: the last article is looked for among the matches, never in the page.
    run.region = std::move(page);
    CutTextBetween(run.region, scheme.before, scheme.after);
    // Much of the page around a small region: keep the region alone.
    if (run.region.capacity() > 2 * run.region.size() + 65536) run.region.shrink_to_fit();
    report.Region(run.region);
    PageRegex regex;
    if (!regex.CompilePattern(scheme.pattern, false)) run.patternError = regex.CompileError();
    run.matches = monitoring ? FindJudgedMatches(scheme, regex, run.region)
                             : regex.FindAllMatches(run.region);
    run.groupCount = regex.CaptureGroupCount();
    if (monitoring && ToJudgeMode(scheme.type) != JudgeMode::CompareArticleId &&
        FindMarkerMatch(scheme, run.region, run.matches) == kNoMarker) {
        run.markerMissing = true;
        report.Status("\r\n" + Gbk(kMarkerMissingText));
    }
    if (run.region.empty()) {
        run.regionEmpty = true;
        report.Status("\r\n" + Gbk(kRegionEmptyText));
    }
    return !report.Stopped();
}

// Stores the new articles oldest first, each with its marker, then updates the
// scheme's row. An article that could not be stored ends the run: the marker
// stays behind it, so the next cycle stores it and the rest. An untitled article
// that is stored already is passed over.
void Record(const Scheme& scheme, Database& db, const MonitorTimings& timings, RunReport& report,
            SchemeRun& run) {
    RecordPlan plan = PlanRecords(scheme, run.region, run.matches);
    if (!plan.update) return;
    for (const ArticleInsert& article : plan.inserts) {
        if (report.Stopped()) return;
        const std::string now = NowText();
        const std::string insert = InsertStatement(scheme, article, now);
        const StatementOutcome outcome =
            ExecuteRecord(db, insert, MarkerStatement(scheme, article));
        report.Statement(insert, outcome);
        if (!outcome.ok) return;
        if (outcome.changes == 0) continue;
        if (run.stored++ == 0) report.NewArticlesFound();
        report.Recorded(scheme, article, now);
        report.Pause(timings.insertPauseMs);
    }
    if (report.Stopped()) return;
    const std::string update = UpdateStatement(scheme, plan, NowText());
    report.Statement(update, ExecuteStatement(db, update));
}

}  // namespace

SchemeRun CheckScheme(const Scheme& scheme, const MonitorTimings& timings, RunReport& report) {
    SchemeRun run;
    run.firstRun =
        scheme.lastMarker.empty() && ToJudgeMode(scheme.type) != JudgeMode::CompareArticleId;
    CutAndMatch(scheme, true, timings, report, run);
    run.stopped = report.Stopped();
    return run;
}

void RecordCheckedRuns(const std::vector<const Scheme*>& current,
                       const std::vector<SchemeRun*>& runs, Database& db, RunReport& report) {
    if (report.Stopped()) {
        for (SchemeRun* run : runs) run->stopped = true;
        return;
    }
    const std::string now = NowText();
    std::vector<RecordPlan> plans;
    plans.reserve(runs.size());
    std::vector<std::string> inserts, updates;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        plans.push_back(PlanRecords(*current[r], runs[r]->region, runs[r]->matches));
        const RecordPlan& plan = plans.back();
        if (!plan.update) continue;
        for (const ArticleInsert& article : plan.inserts) {
            inserts.push_back(InsertStatement(*current[r], article, now));
        }
        updates.push_back(UpdateStatement(*current[r], plan, now));
    }
    if (updates.empty()) return;
    std::vector<bool> stored;
    const StatementOutcome outcome = ExecuteRecords(db, inserts, updates, stored);
    report.Statement(updates.front(), outcome);
    std::size_t next = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const RecordPlan& plan = plans[r];
        if (!plan.update) continue;
        if (!outcome.ok) {
            runs[r]->recordFailure = outcome.code;
            continue;
        }
        for (const ArticleInsert& article : plan.inserts) {
            if (!stored[next++]) continue;
            if (runs[r]->stored++ == 0) report.NewArticlesFound();
            report.Recorded(*current[r], article, now);
        }
    }
}

SchemeRun MonitorScheme(const Scheme& scheme, Database& db, const MonitorTimings& timings,
                        RunReport& report) {
    SchemeRun run;
    run.firstRun =
        scheme.lastMarker.empty() && ToJudgeMode(scheme.type) != JudgeMode::CompareArticleId;
    if (CutAndMatch(scheme, true, timings, report, run)) Record(scheme, db, timings, report, run);
    run.stopped = report.Stopped();
    return run;
}

SchemeRun TestScheme(const Scheme& scheme, const MonitorTimings& timings, RunReport& report) {
    SchemeRun run;
    CutAndMatch(scheme, false, timings, report, run);
    run.stopped = report.Stopped();
    return run;
}

bool IsBlockedSite(const std::string& url) { return GbkContains(url, kBlockedSiteToken); }

}  // namespace vela
