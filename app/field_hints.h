#pragma once

#include <QString>

namespace vela {

class MainWindow;

// The address the pattern box's hint links to for help with patterns.
inline constexpr const char* kHelpForumAddress = "https://www.example.com/vela/pattern-help";

// Gives the hint box its style sheet and start text, and makes each editor field
// show its hint there when it gets the focus.
void SetUpFieldHints(MainWindow& window);

// Replaces the hint box's HTML with the hint of the named field.
void ShowFieldHint(MainWindow& window, const QString& field);

// The hint of a field; empty for a field without one.
QString FieldHint(const QString& field);

}  // namespace vela
