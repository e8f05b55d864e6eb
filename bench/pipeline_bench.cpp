#include <benchmark/benchmark.h>

#include <string>

#include "engine/keyword_filter.h"
#include "engine/page_regex.h"
#include "engine/record_plan.h"
#include "engine/scheme_run.h"
#include "fetch/encoding.h"
#include "fetch/text_between.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"

namespace vela {
namespace {

// A forum board page of about 1 MiB in GBK with 2,000 entries in the layout the
// first ready-made pattern is made for.
std::string BoardPage() {
    std::string page = "<html><head><title>board</title></head><body><table>\r\n";
    const std::string filler(380, ' ');
    for (int i = 2000; i > 0; --i) {
        std::string n = std::to_string(i);
        page += "<tr><td>" + filler + "<a href=\"thread-" + n +
                "-1-1.html\" onclick=\"atarget(this)\" class=\"s xst\">\xD0\xC2\xCC\xFB " + n +
                " \xBD\xF1\xCC\xEC\xB5\xC4\xCC\xEC\xC6\xF8</a></td></tr>\r\n";
    }
    return page + "</table></body></html>";
}

// The board's scheme; `fields` says which keywords and whether titles are cleaned.
Scheme BoardScheme(const SchemeFields& fields = {}) {
    Scheme scheme;
    scheme.id = "1";
    scheme.gbk = true;
    scheme.before = "<html";
    scheme.after = "</html>";
    scheme.pattern =
        R"re(<a href=\"(.*?)\".*?onclick=\"atarget\(this\)\" class=.*?xst\">(.*?)</a>)re";
    scheme.linkTemplate = "http://bbs.example/[1]";
    scheme.titleGroup = 2;
    scheme.fields = fields;
    return scheme;
}

// 20 keywords as a watcher of a second-hand board might write them: 15 to
// include (10 plain, 5 expressions) and 5 to exclude (3 plain, 2 expressions).
// On the board, "/新帖 \d*7 /" keeps a tenth of the titles and "/新帖 \d*77 /"
// drops a tenth of those; the plain keywords find nothing. With `everyTitle`,
// "天气" (in every title) replaces "笔记本": every title passes the include side
// and then meets every exclude keyword, the most work a title can make.
SchemeFields TwentyKeywords(bool cleanTitles, bool everyTitle = false) {
    SchemeFields fields;
    fields.include =
        Gbk(std::string("相机\n镜头\nps5\nＳＷＩＴＣＨ\n招标\n二手\n出售\n求购\n显卡\n") +
            (everyTitle ? "天气" : "笔记本") +
            "\n/二手.*镜头/\n/ps[45]\\s*pro/\n/第\\d+期/\n/^\\[置顶\\]/\n/新帖 \\d*7 /");
    fields.exclude = Gbk("广告\n结果公示\n已售\n/求.*代购/\n/新帖 \\d*77 /");
    fields.cleanTitles = cleanTitles;
    return fields;
}

// What the benchmarks below measure with: nothing, the 20 keywords, clean
// titles, both.
SchemeFields Variant(int64_t v) {
    if (v == 1) return TwentyKeywords(false);
    if (v == 2) return SchemeFields{"", "", true};
    if (v == 3) return TwentyKeywords(true);
    return {};
}
const char* const kVariantNames[] = {"plain", "20_keywords", "clean_titles", "20_keywords_clean"};

// Each new article the plan stores or drops: all 2,000, less those the keywords drop.
void CheckPlanned(benchmark::State& state, const RecordPlan& plan) {
    const std::size_t seen = plan.inserts.size() + static_cast<std::size_t>(plan.dropped);
    if (seen != 2000) state.SkipWithError("the pattern did not find every entry");
    state.counters["stored"] = static_cast<double>(plan.inserts.size());
    state.counters["dropped"] = static_cast<double>(plan.dropped);
}

// One monitoring run from page bytes to the plan of what it records.
void BM_ProcessPipeline(benchmark::State& state) {
    const std::string body = BoardPage();
    const Scheme scheme = BoardScheme(Variant(state.range(0)));
    RecordPlan last;
    for (auto _ : state) {
        // The copy stands for the body the transfer delivers; from there on the
        // page goes through the steps as the run takes it.
        std::string page = RemoveCrLf(BytesToText(std::string(body)));
        std::string region = std::move(page);
        CutTextBetween(region, scheme.before, scheme.after);
        PageRegex regex;
        regex.CompilePattern(scheme.pattern, false);
        RecordPlan plan = PlanRecords(scheme, region, FindJudgedMatches(scheme, regex, region));
        benchmark::DoNotOptimize(plan);
        last = std::move(plan);
    }
    CheckPlanned(state, last);
    state.SetLabel(kVariantNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
    state.counters["page_bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_ProcessPipeline)
    ->Name("BM_ProcessPipeline/1MiB_2000_entries")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

// A whole check of the board as the runner makes it, from the request to a
// loopback server to the plan of what it records (CheckScheme, then the plan that
// RecordCheckedRuns makes before it writes).
void BM_Check(benchmark::State& state) {
    const std::string body = BoardPage();
    test::LoopbackHttpServer server([&body](const std::string&) {
        return test::CannedReply{test::SimpleResponse("200 OK", body)};
    });
    Scheme scheme = BoardScheme(Variant(state.range(0)));
    scheme.url = server.Url("/board");
    test::SilentReport report;
    RecordPlan last;
    for (auto _ : state) {
        SchemeRun run = CheckScheme(scheme, MonitorTimings{}, report);
        RecordPlan plan = PlanRecords(scheme, run.region, run.matches);
        benchmark::DoNotOptimize(plan);
        last = std::move(plan);
    }
    CheckPlanned(state, last);
    state.SetLabel(kVariantNames[state.range(0)]);
}
BENCHMARK(BM_Check)
    ->Name("BM_Check/1MiB_2000_entries")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The keyword filter alone, as a check pays for it: made from the scheme's
// fields (every expression compiled and tried on its crafted titles), then
// judging the 2,000 titles of the board.
void BM_KeywordFilter(benchmark::State& state) {
    const std::string body = BoardPage();
    const Scheme scheme = BoardScheme(TwentyKeywords(false, state.range(0) == 1));
    PageRegex regex;
    regex.CompilePattern(scheme.pattern, false);
    const std::vector<MatchRecord> matches = regex.FindAllMatches(body);
    std::vector<std::string> titles;
    for (const MatchRecord& match : matches) titles.push_back(SubMatchText(match, body, 2));
    std::size_t kept = 0;
    for (auto _ : state) {
        const KeywordFilter filter(scheme.fields);
        kept = 0;
        for (const std::string& title : titles) kept += filter.Keeps(title);
        benchmark::DoNotOptimize(kept);
    }
    if (titles.size() != 2000) state.SkipWithError("the pattern did not find every entry");
    state.counters["kept"] = static_cast<double>(kept);
    state.SetLabel(state.range(0) == 1 ? "every_title_passes_the_includes" : "watch_list");
}
BENCHMARK(BM_KeywordFilter)
    ->Name("BM_KeywordFilter/20_keywords_2000_titles")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vela
