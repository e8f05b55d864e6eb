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

// Records one article: runs `insert` and `marker` (the statement that moves the
// scheme's last-article marker past it) in one transaction, so that a crash or a
// stop can never leave the article stored without its marker, or the marker moved
// without the article. Reports `insert` exactly as ExecuteAndReport does; the
// marker statement is not reported. False when nothing was kept.
bool ExecuteRecordAndReport(Database& db, MainWindow& window, const std::string& insert,
                            const std::string& marker);

}  // namespace vela
