#include "process_scheme.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <chrono>

#include "engine/now_text.h"
#include "engine/page_regex.h"
#include "engine/record_plan.h"
#include "engine/region_preview.h"
#include "execute_and_report.h"
#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/http_fetch.h"
#include "fetch/text_between.h"
#include "gbk_text.h"
#include "gui_thread.h"
#include "list_cells.h"
#include "main_window.h"
#include "message_box.h"
#include "monitor_state.h"
#include "responsive_wait.h"
#include "scheme_form.h"
#include "status_box.h"
#include "test_display.h"

namespace vela {
namespace {

constexpr int kSchemeFields = 20;

// The scheme as the editor's form holds it (a rule test).
Scheme SchemeFromEditor(MainWindow& window) {
    SchemeForm form = ReadSchemeForm(window);
    Scheme s;
    s.name = form.name;
    s.gbk = form.code == "1";
    s.url = form.url;
    s.before = form.before;
    s.after = form.after;
    s.pattern = form.regular;
    s.linkTemplate = form.buquan;
    s.cookie = form.cookie;
    s.userAgent = form.ua;
    return s;
}

// The scheme in the row at position CurrentTask of the collected rows; a row that
// no longer exists reads as empty cells.
Scheme SchemeFromRow(MainWindow& window, const MonitorState& state) {
    auto* list = window.Control<QTableWidget>("项目列表框");
    int task = state.CurrentTask;
    int row = task >= 1 && task <= static_cast<int>(state.CheckedSchemeRows.size())
                  ? state.CheckedSchemeRows[task - 1]
                  : -1;
    std::vector<std::string> cells(kSchemeFields);
    for (int i = 0; i < kSchemeFields; ++i) cells[i] = CellText(list, row, i);
    return SchemeFromCells(cells);
}

class Run {
public:
    Run(ProcessMode mode, ProcessContext& context) : mode_(mode), c_(context) {}

    void Execute() {
        if (!ReadScheme()) return;
        if (!Stopped()) Process();
        if (mode_ == ProcessMode::Monitor) {
            Status("\r\n" + Gbk("任务") + std::to_string(c_.state.CurrentTask) + Gbk("已结束----") +
                   NowText());
            c_.state.WorkerBusy = 0;
        }
    }

private:
    bool Monitor() const { return mode_ == ProcessMode::Monitor; }

    // A stopped monitoring run (or an ending program) does nothing further.
    bool Stopped() const {
        return ProgramEnding() || (Monitor() && c_.state.StopRequested.load() != 0);
    }

    void Status(const std::string& line) {
        if (!ProgramEnding()) AppendStatus(c_.window, line);
    }

    bool ReadScheme() {
        bool read = RunOnGuiThread([&] {
            scheme_ = Monitor() ? SchemeFromRow(c_.window, c_.state) : SchemeFromEditor(c_.window);
        });
        if (!read && Monitor()) c_.state.WorkerBusy = 0;
        return read;
    }

    std::string Fetch() {
        HttpFetchParams params;
        params.url = scheme_.url;
        params.method = kHttpGet;
        params.cookie = scheme_.cookie;
        params.headers = "User-Agent: " + scheme_.userAgent;
        FetchOptions options;
        options.stopRequested = [this] { return Stopped(); };
        options.connectTimeout = std::chrono::milliseconds(c_.timings.connectTimeoutMs);
        options.stallTimeout = std::chrono::milliseconds(c_.timings.stallTimeoutMs);
        options.totalTimeout = std::chrono::milliseconds(c_.timings.transferLimitMs);
        return HttpFetch(params, options);
    }

    void Process() {
        std::string body = Fetch();
        // A transfer cut short by a stop is not the page: judging it would report
        // a missing marker and an empty region that are not there.
        if (Stopped()) return;
        std::string page = RemoveCrLf(scheme_.gbk ? BytesToText(body) : Utf8ToGbk(body));
        body.clear();
        if (Stopped()) return;
        RegionMarkers markers{scheme_.before, scheme_.after, false};
        if (Monitor()) {
            markers = ChooseMarkers(scheme_, page);
            if (markers.markerMissing) Status("\r\n" + Gbk("出错！无法在源码中找到最后文章标记！"));
        }
        region_ = TextBetween(page, markers.begin, markers.end);
        page.clear();
        if (region_.empty()) Status("\r\n" + Gbk("出错！截取源码为空，请检查方案的采集区域！"));
        ShowRegion();
        regex_.CompilePattern(scheme_.pattern, false);
        matches_ = regex_.FindAllMatches(region_);
        if (Stopped()) return;
        if (Monitor()) {
            Record();
        } else {
            ShowTestResult(c_.window, region_, regex_.CaptureGroupCount(), matches_);
        }
    }

    void ShowRegion() {
        RunOnGuiThread([&] {
            c_.window.Control<QPlainTextEdit>("测试编辑框")
                ->setPlainText(FromGbkLines(RegionPreview(region_)));
        });
    }

    void Record() {
        RecordPlan plan = PlanRecords(scheme_, region_, matches_);
        if (!plan.update) return;
        if (plan.newArticlesFound) c_.state.NewArticlesFound = 1;
        for (const ArticleInsert& article : plan.inserts) {
            if (Stopped()) return;
            // An article that could not be stored ends the run: the marker stays
            // behind it, so the next cycle stores it and the rest.
            if (!ExecuteRecordAndReport(c_.database, c_.window,
                                        InsertStatement(scheme_, article, NowText()),
                                        MarkerStatement(scheme_, article))) {
                return;
            }
            c_.state.NewArticles.AddRecorded(scheme_.name, article.title);
            ResponsiveWait(c_.timings.insertPauseMs);
        }
        if (Stopped()) return;
        ExecuteAndReport(c_.database, c_.window, UpdateStatement(scheme_, plan, NowText()));
    }

    ProcessMode mode_;
    ProcessContext& c_;
    Scheme scheme_;
    std::string region_;
    PageRegex regex_;
    std::vector<MatchRecord> matches_;
};

}  // namespace

void ProcessScheme(ProcessMode mode, ProcessContext& context) { Run(mode, context).Execute(); }

void OnTestScheme(ProcessContext& context) {
    std::string url = ToGbk(context.window.Control<QLineEdit>("编辑框_网址")->text());
    if (GbkContains(url, kBlockedSiteToken)) {
        ShowMessage(Gbk("此站不允许监控!"));
        return;
    }
    ProcessScheme(ProcessMode::Test, context);
}

}  // namespace vela
