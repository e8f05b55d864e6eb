#include "startup.h"

#include <QCoreApplication>

#include "gui_thread.h"
#include "main_window.h"
#include "tray_icon.h"

namespace vela {

void OnWindowCreated(MainWindow&, TrayIcon& tray, const StartupSteps& steps) {
    if (steps.attachSkin) steps.attachSkin();
    tray.Show();
    if (steps.startDatabase && !steps.startDatabase()) return;
    if (steps.fillLists) steps.fillLists();
}

int RunEventLoop() {
    if (ProgramEnding()) return 0;
    return QCoreApplication::exec();
}

}  // namespace vela
