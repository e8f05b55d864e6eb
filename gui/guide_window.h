#pragma once

#include <QString>

class QTextBrowser;
class QWidget;

namespace vela {

// The address the hint of 正则框 links to: the built-in guide, not a web page.
inline constexpr const char* kGuideLink = "vela:guide";

// The guide to writing schemes, docs/guide.md as built into the program.
QString GuideMarkdown();

// Shows the guide in a window of its own beside `owner`, created on first use and
// raised when it is open already. The window goes with its owner.
QTextBrowser* ShowGuideWindow(QWidget* owner);

}  // namespace vela
