#pragma once

#include <string>
#include <vector>

#include "engine/page_regex.h"

namespace vela {

class MainWindow;

// What a scheme's keywords and clean titles make of a rule test's matches.
struct TestMarks {
    // Per match: the keywords would drop it. Empty when none is dropped.
    std::vector<bool> dropped;
    // Per match: the title as it would be recorded (GBK). Empty for a scheme
    // without keywords or clean titles, whose titles are recorded as the page has
    // them: the test then shows the groups alone.
    std::vector<std::string> titles;
};

// The column after the groups that shows the titles as they would be recorded,
// and the mark of a title the keywords would drop.
inline constexpr const char* kRecordedTitleHeader = "记录标题";
inline constexpr const char* kDroppedMark = "[过滤] ";

// Shows a rule test in 测试编辑框 and 测试列表框: one row per match, columns
// "索引 0" … "索引 N-1" holding groups 0 … N-1, then, where `marks` has titles,
// the column 记录标题. A match the keywords would drop has its row greyed and its
// title marked. No match: a message box instead. A test with matches opens the
// save button.
void ShowTestResult(MainWindow& window, const std::string& region, int groupCount,
                    const std::vector<MatchRecord>& matches, const TestMarks& marks = {});

}  // namespace vela
