#pragma once

#include <functional>
#include <string>

// Desktop notifications go through ShowNotification: org.freedesktop.Notifications
// on the session bus (GNOME without a tray, KDE, every freedesktop desktop), each
// replacing the previous one, with the action 打开 (the newest article's link) and
// the default action raising the window; the tray icon's message only where no
// notification service answers. Texts are GBK. Tests swap the function for a
// recorder, as they do with message boxes.

namespace vela {

class TrayIcon;

struct NotificationRequest {
    std::string title;
    std::string text;  // lines separated by "\n"
    std::string link;  // the newest article's link, opened by the action 打开; may be empty
};

using NotificationFunction = std::function<void(const NotificationRequest&)>;

// On the GUI thread.
void ShowNotification(TrayIcon& tray, const NotificationRequest& request);

// Replaces the function that shows notifications; returns the previous one. An
// empty function restores the tray icon's message.
NotificationFunction SetNotificationFunction(NotificationFunction function);

// What a click on a notification (its default action) does: raise the window.
void SetNotificationClickHandler(std::function<void()> handler);

}  // namespace vela
