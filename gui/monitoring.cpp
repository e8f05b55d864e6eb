#include "monitoring.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <utility>

#include "channel_delivery.h"
#include "engine/exclusive_run.h"
#include "engine/leading_integer.h"
#include "engine/now_text.h"
#include "gbk_text.h"
#include "gui_thread.h"
#include "list_cells.h"
#include "list_fill.h"
#include "main_window.h"
#include "message_box.h"
#include "monitor_state.h"
#include "responsive_wait.h"
#include "status_box.h"
#include "store/database.h"

namespace vela {
namespace {

const QString kStartCaption = QStringLiteral("开 始");
const QString kStopCaption = QStringLiteral("停 止");

MainWindow& Window(MonitorContext& c) { return c.process.window; }
MonitorState& State(MonitorContext& c) { return c.process.state; }

void SetSettingsEnabled(MainWindow& window, bool enabled) {
    window.Control("自动监控框")->setEnabled(enabled);
    window.Control("频率框")->setEnabled(enabled);
}

// True once the program is ending or a later press of 运行 has started monitoring
// anew while this start waited: the later start owns the loop from then on.
bool Overtaken(const MonitorContext& c, int start) { return ProgramEnding() || c.starts != start; }

// The message of a run lock that cannot be taken. Without it a run could store the
// same articles as another program on the same database file, so none runs.
std::string RunLockMessage(const std::string& problem, bool wasRunning) {
    return Gbk("无法使用数据库的运行锁：") + Utf8ToGbk(problem) + "\r\n" +
           Gbk(wasRunning ? "没有它，同一数据库上的其他程序可能重复记录文章，监控已停止。"
                          : "没有它，同一数据库上的其他程序可能重复记录文章，监控未开始。");
}

// Before a cycle: true when the run lock can be taken (or another program holds
// it now). Otherwise one box says why, and the cycle does not start.
bool RunLockUsable(MonitorContext& c, bool running) {
    const std::string problem = RunLockProblem(c.process.database);
    if (problem.empty()) return true;
    // Stopped before the box, so the caption already reads 开 始 behind it.
    if (running && State(c).StopRequested == 0) ToggleMonitoring(c);
    ShowMessage(RunLockMessage(problem, running));
    return false;
}

// A cycle that must not start: one line in 状态 says why, and monitoring stops
// (or does not start).
bool Refuse(MonitorContext& c, bool running, const std::string& line) {
    if (running && State(c).StopRequested == 0) ToggleMonitoring(c);
    AppendStatus(Window(c), "\r\n" + line + Gbk(running ? "，监控已停止----" : "，监控未开始----") +
                                NowText());
    return false;
}

// Before a cycle fetches anything: a database that cannot be written (every
// article found would be lost at its insert), the run lock, and a notification
// channel no service takes (the articles stored would reach none of them; the
// line names it, masked). True when the cycle may start; the channels are then
// ready for it.
bool CycleCanStart(MonitorContext& c, bool running) {
    Database& db = c.process.database;
    const std::string readOnly = db.WriteProblem();
    if (!readOnly.empty()) {
        return Refuse(c, running, Gbk("数据库无法写入：") + Utf8ToGbk(readOnly));
    }
    if (!RunLockUsable(c, running)) return false;
    // The window delivers to the channels when it is wired to its database.
    if (c.alert.database) {
        const std::string bad = PrepareChannelDelivery(Window(c), db, !running);
        if (!bad.empty()) {
            return Refuse(
                c, running,
                Gbk("通知渠道无法使用：") + Utf8ToGbk(bad) + Gbk("（请在「通知渠道…」里修改）"));
        }
    }
    return true;
}

// Starts the worker for the scheme at CurrentTask. WorkerBusy reads 1 before the
// thread runs, and 0 again when no thread could be started. False when the start
// was overtaken while it waited for the previous worker.
bool StartWorker(MonitorContext& c, int start) {
    MonitorState& state = State(c);
    // A stopped worker may still be finishing its last step.
    c.worker.WaitUntilFinished();
    if (Overtaken(c, start)) return false;
    // The worker touches no widget: its scheme is read here, from the list.
    Scheme scheme = SchemeOfCurrentTask(Window(c), state);
    state.RunLockProblem.clear();
    state.WorkerBusy = 1;
    if (!c.worker.Start([&c, scheme = std::move(scheme)] { RunMonitorTask(c.process, scheme); })) {
        state.WorkerBusy = 0;
    }
    return true;
}

// A run that recorded articles moved its scheme's marker in the database; a cycle
// cut short by a stop did not reload the list, whose cells the next run reads.
void ReloadSchemesIfRecorded(MonitorContext& c) {
    if (State(c).NewArticlesFound) FillSchemeList(Window(c), c.cursor, c.process.database);
}

// The cycles. Runs inside the click handler of 运行; every wait handles events, so
// every other handler (a stop included) runs nested in one of them. A stop ends the
// loop at its next check; the waits themselves run out. A start pressed in one of
// those waits runs its own loop there, and this one gives up as soon as it resumes.
void MonitorLoop(MonitorContext& c, bool automatic, int start) {
    MainWindow& window = Window(c);
    MonitorState& state = State(c);
    bool firstCycle = true;
    while (state.StopRequested == 0 && !ProgramEnding()) {
        // The start made the checks before the first cycle.
        if (state.CurrentTask == 1 && !std::exchange(firstCycle, false)) {
            if (!CycleCanStart(c, true)) break;
        }
        if (!StartWorker(c, start)) return;
        do {
            AppendStatus(window, "\r\n" + Gbk("开始访问任务") + std::to_string(state.CurrentTask) +
                                     Gbk("的网页----") + NowText());
            ResponsiveWait(c.process.timings.pollMs);
            if (Overtaken(c, start)) return;
        } while (state.WorkerBusy == 1);
        if (!state.RunLockProblem.empty()) {
            // The lock went bad during the cycle: its remaining schemes do not run.
            const std::string problem = std::exchange(state.RunLockProblem, {});
            if (state.StopRequested == 0) ToggleMonitoring(c);
            ShowMessage(RunLockMessage(problem, true));
            break;
        }
        state.CurrentTask = state.CurrentTask + 1;
        if (state.CurrentTask > state.CheckedSchemeCount) {
            state.CurrentTask = 1;
            std::string frequency = ToGbk(window.Control<QLineEdit>("频率框")->text());
            window.Control<QPlainTextEdit>("状态")->setPlainText(FromGbkLines(
                Gbk("已执行一轮，") + frequency + Gbk("秒后继续下一轮----") + NowText()));
            if (state.NewArticlesFound) {
                FillArticleList(window, c.cursor, c.process.database);
                QCoreApplication::processEvents();
                if (Overtaken(c, start)) return;
                FillSchemeList(window, c.cursor, c.process.database);
                QCoreApplication::processEvents();
                if (Overtaken(c, start)) return;
                NewArticleAlert(true, c.alert);
            }
            if (automatic) {
                long long seconds =
                    LeadingInteger(ToGbk(window.Control<QLineEdit>("频率框")->text()));
                ResponsiveWait(seconds * c.process.timings.secondMs);
                if (Overtaken(c, start)) return;
            } else {
                AppendStatus(window, "\r\n" + Gbk("执行完毕！"));
                // Only a loop that is still running stops itself: after a stop by the
                // user the caption already reads 开 始, and a press would start anew.
                if (state.StopRequested == 0) ToggleMonitoring(c);
            }
        }
        ResponsiveWait(c.process.timings.pauseMs);
        if (Overtaken(c, start)) return;
    }
    c.worker.WaitUntilFinished();
    if (!Overtaken(c, start)) ReloadSchemesIfRecorded(c);
}

}  // namespace

void ToggleMonitoring(MonitorContext& c) {
    MainWindow& window = Window(c);
    MonitorState& state = State(c);
    auto* frequencyBox = window.Control<QLineEdit>("频率框");
    auto* automaticBox = window.Control<QCheckBox>("自动监控框");
    auto* run = window.Control<QPushButton>("运行");
    if (LeadingInteger(ToGbk(frequencyBox->text())) < 10 && automaticBox->isChecked()) {
        ShowMessage(Gbk("监控频率不能低于 10 秒"));
        frequencyBox->setText(QStringLiteral("10"));
        return;
    }
    window.Control("状态")->setVisible(true);
    if (run->text() == kStartCaption) {
        auto* list = window.Control<QTableWidget>("项目列表框");
        std::vector<int> rows;
        for (int r = 0; r < list->rowCount(); ++r) {
            if (RowChecked(list, r)) rows.push_back(r);
        }
        if (rows.empty()) {
            ShowMessage(Gbk("请勾选至少1个 监控方案"));
            return;
        }
        // Wait for a stopped worker before touching what it reads. A press in that
        // wait may have started monitoring itself: then this start is void.
        const int start = ++c.starts;
        c.worker.WaitUntilFinished();
        if (Overtaken(c, start) || run->text() != kStartCaption) return;
        ReloadSchemesIfRecorded(c);
        if (!CycleCanStart(c, false)) return;
        // A stop of monitoring also ends the worker's wait for another program's
        // lock on the database; the GUI thread's own statements wait as before.
        c.process.database.SetStopPredicate(
            [&state] { return ProgramEnding() || (!IsGuiThread() && state.StopRequested != 0); });
        state.CheckedSchemeRows = std::move(rows);
        state.CheckedSchemeCount = static_cast<int>(state.CheckedSchemeRows.size());
        state.CurrentTask = 1;
        SetSettingsEnabled(window, false);
        run->setText(kStopCaption);
        window.ShowPage(1);
        state.StopRequested = 0;
        MonitorLoop(c, automaticBox->isChecked(), start);
    } else {
        run->setText(kStartCaption);
        SetSettingsEnabled(window, true);
        state.StopRequested = 1;
        // Cuts short the worker's own pause and its transfer in flight.
        WakeWaits();
    }
}

void OnAutoMonitorToggled(MonitorContext& c) {
    MainWindow& window = Window(c);
    bool checked = window.Control<QCheckBox>("自动监控框")->isChecked();
    window.Control("标签13")->setVisible(checked);
    window.Control("频率框")->setVisible(checked);
}

void BindMonitoring(MonitorContext& c) {
    MainWindow& window = Window(c);
    QObject::connect(window.Control<QPushButton>("运行"), &QPushButton::clicked, &window,
                     [&c] { ToggleMonitoring(c); });
    QObject::connect(window.Control<QCheckBox>("自动监控框"), &QCheckBox::clicked, &window,
                     [&c] { OnAutoMonitorToggled(c); });
    QObject::connect(window.Control<QPushButton>("按钮_测试配置"), &QPushButton::clicked, &window,
                     [&c] { OnTestScheme(c.process); });
}

bool StopMonitoringForExit(MonitorContext& c) {
    State(c).StopRequested = 1;
    WakeWaits();
    return c.worker.JoinWithin(std::chrono::milliseconds(1500));
}

}  // namespace vela
