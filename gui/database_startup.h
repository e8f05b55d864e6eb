#pragma once

#include <string>

namespace vela {

class Database;
class MainWindow;

// The database step of the window's creation. A missing file: "数据库文件不存在！"
// (caption "错误"), 运行 disabled, and false so that the lists stay empty. A file
// that does not open: "数据库打开失败！", 运行 disabled, true (the lists fill empty).
bool StartDatabase(Database& db, MainWindow& window, const std::string& path);

}  // namespace vela
