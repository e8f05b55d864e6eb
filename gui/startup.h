#pragma once

#include <functional>

namespace vela {

class MainWindow;
class TrayIcon;

// The steps the window's creation runs, in this order, supplied by the program's
// entry so that this shell does not depend on the subsystems it starts.
struct StartupSteps {
    std::function<void()> attachSkin;
    // Checks and opens the database; false ends the start-up here (no file).
    std::function<bool()> startDatabase;
    std::function<void()> fillLists;
};

// Runs once the window and all its controls exist: skin, tray icon, database,
// lists. The window is then shown with the first page current and 状态 hidden.
void OnWindowCreated(MainWindow& window, TrayIcon& tray, const StartupSteps& steps);

// Runs the program's event loop until the program ends. When the end began before
// the loop could run (退出 chosen while a start-up message box was open), it
// returns at once: QCoreApplication::exit does nothing to a loop not yet running.
int RunEventLoop();

}  // namespace vela
