#pragma once

#include <string>

namespace vela {

class MainWindow;

// Appends GBK text at the end of the status box 状态: the caret moves to the end,
// the view scrolls there and the earlier content stays. Safe from any thread.
void AppendStatus(MainWindow& window, const std::string& gbk);

// The whole text of the status box, GBK with CR LF line ends.
std::string StatusText(MainWindow& window);

}  // namespace vela
