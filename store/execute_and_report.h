#pragma once

#include <string>

namespace vela {

class Database;
class MainWindow;

// Runs one statement text and reports it: on failure a message box with the error
// code; in every case the statement and the result appended to 状态. Returns the
// result text ("成功！SQL：" + sql, or "执行出错！错误代码：" + code). Safe from the
// monitoring worker: the box and the append happen on the GUI thread.
std::string ExecuteAndReport(Database& db, MainWindow& window, const std::string& sql);

}  // namespace vela
