#include "desktop_notification.h"

#include <QPointer>

#include "dbus_notification.h"
#include "gbk_text.h"
#include "tray_icon.h"

namespace vela {
namespace {

NotificationFunction& CurrentFunction() {
    static NotificationFunction function;
    return function;
}

}  // namespace

void ShowNotification(TrayIcon& tray, const NotificationRequest& request) {
    if (CurrentFunction()) {
        CurrentFunction()(request);
        return;
    }
    const QString title = FromGbk(request.title);
    const QString text = FromGbk(request.text);
    // The reply, and with it the fallback, may come after the tray icon is gone.
    DbusNotification::Instance().Show(title, text, request.link,
                                      [tray = QPointer<TrayIcon>(&tray), title, text] {
                                          if (tray) tray->ShowMessage(title, text);
                                      });
}

void SetNotificationClickHandler(std::function<void()> handler) {
    DbusNotification::Instance().onClick = std::move(handler);
}

NotificationFunction SetNotificationFunction(NotificationFunction function) {
    NotificationFunction previous = CurrentFunction();
    CurrentFunction() = std::move(function);
    return previous;
}

}  // namespace vela
