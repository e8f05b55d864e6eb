#include "process_scheme.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>

#include "engine/exclusive_run.h"
#include "engine/leading_integer.h"
#include "engine/now_text.h"
#include "engine/record_plan.h"
#include "engine/region_preview.h"
#include "engine/scheme_run.h"
#include "execute_and_report.h"
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

// The window's side of a run: what the engine reports reaches the controls
// through the hand-over to the GUI thread.
class WindowReport : public RunReport {
public:
    WindowReport(ProcessContext& context, bool monitoring) : c_(context), monitoring_(monitoring) {}

    // A stopped monitoring run (or an ending program) does nothing further.
    bool Stopped() override {
        return ProgramEnding() || (monitoring_ && c_.state.StopRequested.load() != 0);
    }
    void Status(const std::string& line) override {
        if (!ProgramEnding()) AppendStatus(c_.window, line);
    }
    void Region(const std::string& region) override {
        RunOnGuiThread([&] {
            c_.window.Control<QPlainTextEdit>("测试编辑框")
                ->setPlainText(FromGbkLines(RegionPreview(region)));
        });
    }
    void Statement(const std::string& sql, const StatementOutcome& outcome) override {
        // A statement a stop cut short (it gave up waiting for another program's
        // lock) is no error to put in a box.
        if (!outcome.ok && Stopped()) return;
        ReportStatement(c_.window, sql, outcome);
    }
    void NewArticlesFound() override { c_.state.NewArticlesFound = 1; }
    void Recorded(const Scheme& scheme, const ArticleInsert& article,
                  const std::string& time) override {
        c_.state.NewArticles.AddRecorded(scheme.id, scheme.name, article.title, article.link,
                                         article.other, time);
    }
    void Pause(int milliseconds) override { ResponsiveWait(milliseconds); }

private:
    ProcessContext& c_;
    bool monitoring_;
};

// What the scheme's keywords and clean titles make of the test's matches. A
// scheme without them records the titles as the page has them: nothing to add.
TestMarks TestMarksOf(const Scheme& scheme, const SchemeRun& run) {
    TestMarks marks;
    marks.dropped = run.droppedMatches;
    if (scheme.fields.IsDefault()) return marks;
    marks.titles.reserve(run.matches.size());
    for (const MatchRecord& match : run.matches) {
        marks.titles.push_back(RecordedTitle(scheme, match, run.region));
    }
    return marks;
}

}  // namespace

Scheme SchemeOfCurrentTask(MainWindow& window, const MonitorState& state) {
    auto* list = window.Control<QTableWidget>("项目列表框");
    int task = state.CurrentTask;
    int row = task >= 1 && task <= static_cast<int>(state.CheckedSchemeRows.size())
                  ? state.CheckedSchemeRows[task - 1]
                  : -1;
    std::vector<std::string> cells(kSchemeFields);
    for (int i = 0; i < kSchemeFields; ++i) cells[i] = CellText(list, row, i);
    return SchemeFromCells(cells);
}

void RunMonitorTask(ProcessContext& context, const Scheme& scheme) {
    WindowReport report(context, true);
    // Another program on the same database (the headless runner) never checks
    // this scheme at the same moment.
    SchemeRun run = MonitorSchemeExclusively(scheme, context.database, context.timings, report);
    context.state.RunLockProblem = std::move(run.lockProblem);
    report.Status("\r\n" + Gbk("任务") + std::to_string(context.state.CurrentTask) +
                  Gbk("已结束----") + NowText());
    context.state.WorkerBusy = 0;
}

void RunRuleTest(ProcessContext& context) {
    WindowReport report(context, false);
    const SchemeForm form = ReadSchemeForm(context.window);
    Scheme scheme = SchemeFromForm(form);
    // The keywords judge the title and clean titles also clean the spare value,
    // so a test of a scheme with fields needs to know which groups they are.
    scheme.titleGroup = LeadingInteger(form.tindex);
    scheme.otherGroup = LeadingInteger(form.oindex);
    SchemeRun run = TestScheme(scheme, context.timings, report);
    if (run.stopped) return;
    ShowTestResult(context.window, run.region, run.groupCount, run.matches,
                   TestMarksOf(scheme, run));
    if (!run.keywordProblem.empty()) ShowMessage(Utf8ToGbk(run.keywordProblem));
}

void OnTestScheme(ProcessContext& context) {
    std::string url = ToGbk(context.window.Control<QLineEdit>("编辑框_网址")->text());
    if (IsBlockedSite(url)) {
        ShowMessage(Gbk("此站不允许监控!"));
        return;
    }
    RunRuleTest(context);
}

}  // namespace vela
