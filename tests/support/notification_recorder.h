#pragma once

#include <vector>

#include "gui/desktop_notification.h"

namespace vela::test {

// Records every desktop notification instead of showing it, for the lifetime of
// the object.
class NotificationRecorder {
public:
    NotificationRecorder() {
        previous_ = SetNotificationFunction(
            [this](const NotificationRequest& r) { notifications.push_back(r); });
    }
    ~NotificationRecorder() { SetNotificationFunction(previous_); }
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    std::vector<NotificationRequest> notifications;

private:
    NotificationFunction previous_;
};

}  // namespace vela::test
