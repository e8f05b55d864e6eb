#pragma once

namespace vela {

class MainWindow;

// The editor's two keyword boxes, one keyword per line. At rest each is one line
// high, which is all the room the page has; while it has the focus it grows
// upwards over the pattern row to show several lines, and shrinks back when the
// focus leaves.
inline constexpr const char* kIncludeBox = "包含关键词框";
inline constexpr const char* kExcludeBox = "排除关键词框";
inline constexpr const char* kCleanTitlesBox = "清理标题框";

void SetUpKeywordBoxes(MainWindow& window);

}  // namespace vela
