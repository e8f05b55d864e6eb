#pragma once

#include "engine/monitor_timings.h"
#include "engine/scheme.h"

namespace vela {

class Database;
class MainWindow;
struct MonitorState;

// Everything a run works with.
struct ProcessContext {
    MainWindow& window;
    Database& database;
    MonitorState& state;
    MonitorTimings timings{};
};

// The scheme in the row at position CurrentTask of the collected rows of
// 项目列表框; a row that no longer exists reads as empty cells. On the GUI thread,
// before the worker that runs it starts.
Scheme SchemeOfCurrentTask(MainWindow& window, const MonitorState& state);

// A monitoring run of `scheme` on the worker: the engine's run, its status lines
// appended to 状态 and its region shown in 测试编辑框 as it goes, its statements
// reported, then the end line and WorkerBusy cleared. After a stop of monitoring
// it starts no request and runs no statement; after the program's end it touches
// nothing.
void RunMonitorTask(ProcessContext& context, const Scheme& scheme);

// A rule test of the editor's form, on the GUI thread: the region in 测试编辑框
// and the matches in 测试列表框.
void RunRuleTest(ProcessContext& context);

// Handler of 规则测试: refuses the blocked site, else runs a test.
void OnTestScheme(ProcessContext& context);

}  // namespace vela
