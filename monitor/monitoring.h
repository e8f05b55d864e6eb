#pragma once

#include "new_article_alert.h"
#include "process_scheme.h"
#include "worker.h"

namespace vela {

class QueryCursor;

// The pauses of a monitoring cycle; tests shorten them.
struct MonitorTimings {
    int pollMs = 2000;    // between two checks of a running worker
    int pauseMs = 5000;   // after each scheme
    int secondMs = 1000;  // one second of the frequency
};

struct MonitorContext {
    ProcessContext process;  // window, database and monitoring state
    QueryCursor& cursor;
    AlertContext alert;
    Worker worker;
    MonitorTimings timings;
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
