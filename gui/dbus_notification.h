#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace vela {

// The desktop notification through org.freedesktop.Notifications on the session
// bus. Each notification replaces the previous one (its id is handed back as
// replaces_id); the action 打开 opens the newest article's link, the default action
// (a click) calls the click handler. Asynchronous: the GUI thread never waits for
// the bus. The id of a notification is known only from the service's reply, so a
// notification asked for while the previous one waits for its reply is held until
// that reply comes (or its time runs out), and then sent with the id; of several
// held, only the newest is sent, as it would replace the others at once. On the
// GUI thread.
class DbusNotification : public QObject {
    Q_OBJECT
public:
    static DbusNotification& Instance();

    // Sends a notification; `fallback` runs (on the GUI thread) when no service
    // answers or the session bus is missing.
    void Show(const QString& title, const QString& text, const std::string& gbkLink,
              std::function<void()> fallback);

    // A notification is waiting for the service's reply.
    bool Waiting() const { return waiting_; }

    std::function<void()> onClick;

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    struct Request {
        QString title;
        QString text;
        std::string gbkLink;
        std::function<void()> fallback;
    };

    DbusNotification() = default;
    bool Listen();
    void Send(Request request);

    bool listening_ = false;
    bool waiting_ = false;
    std::optional<Request> held_;  // the newest one asked for while waiting
    uint lastId_ = 0;
    std::string link_;  // of the notification `lastId_`
};

}  // namespace vela
