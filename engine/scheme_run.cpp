#include "scheme_run.h"

#include <chrono>

#include "browser_fetch.h"
#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/http_fetch.h"
#include "fetch/text_between.h"
#include "fetch/url_parts.h"
#include "keyword_filter.h"
#include "now_text.h"
#include "page_fetch.h"
#include "record_plan.h"

namespace vela {
namespace {

// The page's bytes; `run` learns why they are missing or incomplete.
std::string Fetch(const Scheme& scheme, const MonitorTimings& timings, RunReport& report,
                  SchemeRun& run) {
    FetchedPage page = FetchPage(scheme, timings, [&report] { return report.Stopped(); });
    if (page.failure != FetchFailure::kStopped) {
        run.fetchFailure = page.failure;
        run.fetchFailureText = std::move(page.failureText);
    }
    return std::move(page.body);
}

// The page of the scheme by its fetch: requested, or rendered by the browser
// (whose document is UTF-8 whatever the page's encoding, so `utf8` says which
// came). `statusLine` gets the status box's line for a failure (UTF-8).
std::string SchemePage(const Scheme& scheme, const MonitorTimings& timings, RunReport& report,
                       SchemeRun& run, bool& utf8, std::string& statusLine) {
    if (scheme.fields.fetch == FetchMode::kBrowser) {
        utf8 = true;
        return RenderSchemePage(scheme, timings, report, run, statusLine);
    }
    utf8 = !scheme.gbk;
    std::string body = Fetch(scheme, timings, report, run);
    if (run.fetchFailure != FetchFailure::kNone) {
        statusLine = FetchFailureStatusText(run.fetchFailure, FetchLimits(timings), !body.empty());
    }
    return body;
}

// A byte count in the largest whole unit that fits.
std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " 字节";
}

std::string SecondsText(std::chrono::milliseconds limit) {
    if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " 秒";
    return std::to_string(limit.count()) + " 毫秒";
}

// The page as GBK text without CR LF pairs. A GBK body becomes the page in
// place; either way the body's memory is gone on return.
std::string PageText(bool gbk, std::string body) {
    return RemoveCrLf(gbk ? BytesToText(std::move(body)) : Utf8ToGbk(body));
}

// Matches whose id group is empty or does not start with a number: their id reads
// as 0, so they are (nearly always) never stored. Said once per run, naming the
// first one's title, rather than once per match.
void NoteUnnumberedIds(const Scheme& scheme, RunReport& report, SchemeRun& run) {
    for (const MatchRecord& match : run.matches) {
        bool isNumber = false;
        ArticleId::Read(SubMatchText(match, run.region, scheme.idGroup), &isNumber);
        if (isNumber) continue;
        if (run.unnumberedIds++ == 0) {
            run.unnumberedIdTitle = SubMatchText(match, run.region, scheme.titleGroup);
        }
    }
    if (run.unnumberedIds == 0) return;
    report.Status("\r\n" +
                  Gbk("注意：有 " + std::to_string(run.unnumberedIds) +
                      " 篇文章的ID为空或不是数字，按 0 比较（第一篇的标题：") +
                  run.unnumberedIdTitle + Gbk("）"));
}

// The part of CutAndMatch after the fetch, on the page's bytes as they came, GBK
// or UTF-8 as `gbk` says.
bool CutAndMatchBody(const Scheme& scheme, bool monitoring, std::string body, bool gbk,
                     RunReport& report, SchemeRun& run);

// Fetches the page, cuts the region and matches the pattern. False when a stop
// cut the run short: a transfer cut short by a stop is not the page, and judging
// it would report a missing marker and an empty region that are not there.
bool CutAndMatch(const Scheme& scheme, bool monitoring, const MonitorTimings& timings,
                 RunReport& report, SchemeRun& run) {
    if (report.Stopped()) return false;
    bool utf8 = false;
    std::string statusLine;
    std::string body = SchemePage(scheme, timings, report, run, utf8, statusLine);
    if (report.Stopped()) return false;
    if (!statusLine.empty()) report.Status("\r\n" + Gbk(statusLine));
    return CutAndMatchBody(scheme, monitoring, std::move(body), !utf8, report, run);
}

bool CutAndMatchBody(const Scheme& scheme, bool monitoring, std::string body, bool gbk,
                     RunReport& report, SchemeRun& run) {
    run.noAnswer = body.empty();
    std::string page = PageText(gbk, std::move(body));
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
    if (monitoring && ToJudgeMode(scheme.type) == JudgeMode::CompareArticleId) {
        NoteUnnumberedIds(scheme, report, run);
    }
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

// The scheme's keywords, or the error line of the first one that cannot be used:
// then `run` notes it, and nothing of the run is recorded.
KeywordFilter SchemeKeywords(const Scheme& scheme, RunReport& report, SchemeRun& run) {
    KeywordFilter keywords(scheme.fields);
    if (!keywords.Problem().empty()) {
        run.keywordProblem = keywords.Problem();
        report.Status("\r\n" + Gbk(KeywordProblemStatusText(run.keywordProblem)));
    }
    return keywords;
}

// Says how many new articles the keywords dropped, once the marker has moved past them.
void NoteDropped(const RecordPlan& plan, RunReport& report, SchemeRun& run) {
    run.dropped = plan.dropped;
    if (run.dropped > 0) report.Status("\r\n" + Gbk(DroppedStatusText(run.stored, run.dropped)));
}

// Stores the new articles oldest first, each with its marker, then updates the
// scheme's row. An article that could not be stored ends the run: the marker
// stays behind it, so the next cycle stores it and the rest. An untitled article
// that is stored already is passed over.
void Record(const Scheme& scheme, Database& db, const MonitorTimings& timings, RunReport& report,
            SchemeRun& run) {
    const KeywordFilter keywords = SchemeKeywords(scheme, report, run);
    if (!run.keywordProblem.empty()) return;
    RecordPlan plan = PlanRecords(scheme, run.region, run.matches, keywords);
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
    const StatementOutcome outcome = ExecuteStatement(db, update);
    report.Statement(update, outcome);
    if (outcome.ok) NoteDropped(plan, report, run);
}

}  // namespace

FetchOptions FetchLimits(const MonitorTimings& timings) {
    FetchOptions options;
    options.connectTimeout = std::chrono::milliseconds(timings.connectTimeoutMs);
    options.stallTimeout = std::chrono::milliseconds(timings.stallTimeoutMs);
    options.totalTimeout = std::chrono::milliseconds(timings.transferLimitMs);
    options.maxBodyBytes = timings.bodyLimitBytes;
    options.maxRedirects = timings.maxRedirects;
    return options;
}

std::string FetchFailureStatusText(FetchFailure failure, const FetchOptions& limits, bool gotPart) {
    const std::string incomplete = gotPart ? "，页面没有收全" : "";
    switch (failure) {
        case FetchFailure::kNone:
        case FetchFailure::kStopped:
            return {};
        case FetchFailure::kAddress:
            return "出错！这个网址无法发出请求";
        case FetchFailure::kNameNotResolved:
            return "出错！网址的主机名无法解析";
        case FetchFailure::kConnectionRefused:
            return "出错！连接被拒绝";
        case FetchFailure::kConnectTimeout:
            return "出错！连接超时（" + SecondsText(limits.connectTimeout) + "内没有连上）";
        case FetchFailure::kTls:
            return "出错！TLS/证书验证失败";
        case FetchFailure::kNoResponse:
            return "出错！服务器没有给出 HTTP 应答";
        case FetchFailure::kCutShort:
            return "出错！连接中途断开" + incomplete;
        case FetchFailure::kStalled:
            return "出错！超过时限（" + SecondsText(limits.stallTimeout) + "没有收到数据）" +
                   incomplete;
        case FetchFailure::kTimeLimit:
            return "出错！超过时限（总共 " + SecondsText(limits.totalTimeout) + "）" + incomplete;
        case FetchFailure::kSizeLimit:
            return "出错！页面超过大小上限（" + SizeText(limits.maxBodyBytes) + "），只取了前 " +
                   SizeText(limits.maxBodyBytes);
        case FetchFailure::kTooManyRedirects:
            return "出错！重定向次数太多（超过 " + std::to_string(limits.maxRedirects) + " 次）";
        case FetchFailure::kRedirectScheme:
            return "出错！重定向到了不是 http/https 的地址";
        case FetchFailure::kRedirectTarget:
            return "出错！重定向到了无法请求的地址";
        case FetchFailure::kBrowser:
            return "出错！浏览器无法渲染页面";
    }
    return {};
}

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
        const KeywordFilter keywords = SchemeKeywords(*current[r], report, *runs[r]);
        plans.push_back(runs[r]->keywordProblem.empty()
                            ? PlanRecords(*current[r], runs[r]->region, runs[r]->matches, keywords)
                            : RecordPlan());
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
        NoteDropped(plan, report, *runs[r]);
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

namespace {

// A rule test's last step: which matches the scheme's keywords would drop.
void MarkDroppedMatches(const Scheme& scheme, RunReport& report, SchemeRun& run) {
    const KeywordFilter keywords = SchemeKeywords(scheme, report, run);
    run.droppedMatches.reserve(run.matches.size());
    std::string scratch;
    for (const MatchRecord& match : run.matches) {
        run.droppedMatches.push_back(
            !keywords.Keeps(MarkerTitle(scheme, match, run.region, scratch)));
    }
}

}  // namespace

SchemeRun TestScheme(const Scheme& scheme, const MonitorTimings& timings, RunReport& report) {
    SchemeRun run;
    if (CutAndMatch(scheme, false, timings, report, run)) MarkDroppedMatches(scheme, report, run);
    run.stopped = report.Stopped();
    return run;
}

SchemeRun TestSchemeOnPage(const Scheme& scheme, std::string body, RunReport& report) {
    SchemeRun run;
    if (CutAndMatchBody(scheme, false, std::move(body), scheme.gbk, report, run)) {
        MarkDroppedMatches(scheme, report, run);
    }
    run.stopped = report.Stopped();
    return run;
}

std::string KeywordProblemStatusText(const std::string& problem) {
    return "出错！关键词无法使用，没有记录任何文章：" + problem;
}

std::string DroppedStatusText(int stored, int dropped) {
    return std::to_string(stored) + " 篇新文章，" + std::to_string(dropped) + " 篇被关键词过滤";
}

bool IsBlockedSite(const std::string& url) { return GbkContains(url, kBlockedSiteToken); }

}  // namespace vela
