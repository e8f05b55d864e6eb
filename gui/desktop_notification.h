#pragma once

#include <functional>
#include <string>

// Desktop notifications go through ShowNotification: the tray icon's message, which
// the desktop's notification service shows where there is one. Texts are GBK. Tests
// swap the function for a recorder, as they do with message boxes.

namespace vela {

class TrayIcon;

struct NotificationRequest {
    std::string title;
    std::string text;  // lines separated by "\n"
};

using NotificationFunction = std::function<void(const NotificationRequest&)>;

// On the GUI thread.
void ShowNotification(TrayIcon& tray, const NotificationRequest& request);

// Replaces the function that shows notifications; returns the previous one. An
// empty function restores the tray icon's message.
NotificationFunction SetNotificationFunction(NotificationFunction function);

}  // namespace vela
