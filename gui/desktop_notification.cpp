#include "desktop_notification.h"

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
    tray.ShowMessage(FromGbk(request.title), FromGbk(request.text));
}

NotificationFunction SetNotificationFunction(NotificationFunction function) {
    NotificationFunction previous = CurrentFunction();
    CurrentFunction() = std::move(function);
    return previous;
}

}  // namespace vela
