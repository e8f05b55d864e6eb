#pragma once

namespace vela {

class Database;
class MainWindow;

// The SQL console on the page 高级设置: runs the text of sql框 as typed.
void OnRunSql(Database& db, MainWindow& window);
void BindSqlConsole(Database& db, MainWindow& window);

}  // namespace vela
