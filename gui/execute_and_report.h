#pragma once

#include <string>

#include "store/statement_run.h"

namespace vela {

class Database;
class MainWindow;

// Reports one statement that has run: on failure a message box with the error
// code; in every case the statement and the result appended to 状态. Returns the
// result text ("成功！SQL：" + sql, or "执行出错！错误代码：" + code). Safe from the
// monitoring worker: the box and the append happen on the GUI thread. Runs
// without the database lock: the box waits for the user, and the worker must not
// keep the connection while it waits.
std::string ReportStatement(MainWindow& window, const std::string& sql, StatementOutcome outcome);

// Runs one statement text and reports it.
std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql);

}  // namespace vela
