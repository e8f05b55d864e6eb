#pragma once

#include <string>
#include <vector>

#include "engine/page_regex.h"

namespace vela {

class MainWindow;

// Shows a rule test in 测试编辑框 and 测试列表框: one row per match, columns
// "索引 0" … "索引 N-1" holding groups 0 … N-1. No match: a message box instead.
// A test with matches opens the save button.
void ShowTestResult(MainWindow& window, const std::string& region, int groupCount,
                    const std::vector<MatchRecord>& matches);

}  // namespace vela
