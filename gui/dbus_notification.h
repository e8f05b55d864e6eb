#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

namespace vela {

// The desktop notification through org.freedesktop.Notifications on the session
// bus. Each notification replaces the previous one (its id is handed back as
// replaces_id); the action 打开 opens the newest article's link, the default action
// (a click) calls the click handler. Asynchronous: the GUI thread never waits for
// the bus. On the GUI thread.
class DbusNotification : public QObject {
    Q_OBJECT
public:
    static DbusNotification& Instance();

    // Sends a notification; `fallback` runs (on the GUI thread) when no service
    // answers or the session bus is missing.
    void Show(const QString& title, const QString& text, const std::string& gbkLink,
              std::function<void()> fallback);

    std::function<void()> onClick;

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    DbusNotification() = default;
    bool Listen();

    bool listening_ = false;
    uint lastId_ = 0;
    std::string link_;  // of the notification `lastId_`
};

}  // namespace vela
