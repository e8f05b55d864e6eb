#pragma once

#include "new_article_alert.h"
#include "process_scheme.h"
#include "worker.h"

namespace vela {

class QueryCursor;

struct MonitorContext {
    ProcessContext process;  // window, database, monitoring state and timings
    QueryCursor& cursor;
    AlertContext alert;
    Worker worker;
    int starts = 0;  // presses of 运行 that started monitoring (GUI thread only)
};

// Handler of 运行: starts monitoring (and runs the cycles inside this call, waiting
// with nested event loops) or stops it.
void ToggleMonitoring(MonitorContext& context);
// Handler of 自动监控框: the frequency box and its label show while it is checked.
void OnAutoMonitorToggled(MonitorContext& context);

// Binds 运行, 自动监控框 and 规则测试, and the window's alert clearing.
void BindMonitoring(MonitorContext& context);

// At program end: stops monitoring and waits briefly for the worker. False when it
// is still busy (a long match); the caller then ends the process without it.
bool StopMonitoringForExit(MonitorContext& context);

}  // namespace vela
