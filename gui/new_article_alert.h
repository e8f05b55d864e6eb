#pragma once

#include <functional>

namespace vela {

class Database;
class MainWindow;
class TrayIcon;
struct MonitorState;

// What the alert needs: the window (its two check boxes and 状态), the tray icon,
// a way to play the alert sound once, and the monitoring state.
struct AlertContext {
    MainWindow& window;
    TrayIcon& tray;
    MonitorState& state;
    std::function<void()> playSound;
    // The database whose articles the notification channels hear of (their outbox
    // is beside it); none: no channels.
    const Database* database = nullptr;
};

// Raising: the sound (语音提醒), the alert icon (图标提醒), a desktop notification
// naming what was recorded since the last alert (桌面通知), one message to every
// notification channel (off the GUI thread), a status line, and NewArticlesFound
// cleared. Clearing: the normal icon back (图标提醒), nothing else.
void NewArticleAlert(bool raise, AlertContext& context);

}  // namespace vela
