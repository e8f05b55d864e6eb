#include "startup.h"

#include "main_window.h"
#include "tray_icon.h"

namespace vela {

void OnWindowCreated(MainWindow&, TrayIcon& tray, const StartupSteps& steps) {
    if (steps.attachSkin) steps.attachSkin();
    tray.Show();
    if (steps.startDatabase && !steps.startDatabase()) return;
    if (steps.fillLists) steps.fillLists();
}

}  // namespace vela
