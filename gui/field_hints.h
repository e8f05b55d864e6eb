#pragma once

#include <QString>

namespace vela {

class MainWindow;

// Gives the hint box its style sheet and start text, and makes each editor field
// show its hint there when it gets the focus. The help link of the pattern box's
// hint opens the built-in guide.
void SetUpFieldHints(MainWindow& window);

// Replaces the hint box's HTML with the hint of the named field.
void ShowFieldHint(MainWindow& window, const QString& field);

// The hint of a field; empty for a field without one.
QString FieldHint(const QString& field);

}  // namespace vela
