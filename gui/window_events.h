#pragma once

#include <functional>

#include "tray_icon.h"

namespace vela {

class MainWindow;

// Binds the window's own events, the tab change, the tray icon and its menu, and
// the menu items of features this version does not have. `clearAlert` puts the
// normal tray icon back (the alert is cleared when the user looks).
void BindWindowEvents(MainWindow& window, TrayIcon& tray, std::function<void()> clearAlert);

// 状态 is visible only on the pages 最新文章, 监控方案 and 我的收藏.
void OnTabChanged(MainWindow& window, int page);
// A minimised window hides to the tray (only when the tray icon is shown).
void OnWindowResized(MainWindow& window, bool trayShown);
void OnTrayEvent(MainWindow& window, TrayAction action, const std::function<void()>& clearAlert);
void OnAbout();
void OnExit();
void ShowNotYetAvailable();

}  // namespace vela
