#include "dbus_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "open_link.h"

namespace vela {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kOpenAction = QStringLiteral("open");
const QString kDesktopEntry = QStringLiteral("example.lanqi.vela");
// A notification server answers at once; one that does not is given up on
// (the tray shows the message) well before D-Bus's own 25 s.
constexpr int kReplyTimeoutMs = 5000;

}  // namespace

DbusNotification& DbusNotification::Instance() {
    static DbusNotification* instance = new DbusNotification;  // lives as long as the bus
    return *instance;
}

bool DbusNotification::Listen() {
    if (listening_) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    listening_ = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                             SLOT(OnActionInvoked(uint, QString))) &&
                 bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"),
                             this, SLOT(OnClosed(uint, uint)));
    return listening_;
}

void DbusNotification::Show(const QString& title, const QString& text, const std::string& gbkLink,
                            std::function<void()> fallback) {
    if (!Listen()) {
        if (fallback) fallback();
        return;
    }
    Request request{title, text, gbkLink, std::move(fallback)};
    if (waiting_) {
        held_ = std::move(request);
        return;
    }
    Send(std::move(request));
}

void DbusNotification::Send(Request request) {
    QStringList actions = {QStringLiteral("default"), QStringLiteral("显示窗口")};
    if (SafeLinkUrl(request.gbkLink)) actions << kOpenAction << QStringLiteral("打开");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kDesktopEntry);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("澜栖监控") << lastId_ << kDesktopEntry << request.title << request.text
         << actions << hints << -1;
    waiting_ = true;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kReplyTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, watcher, link = std::move(request.gbkLink), fallback = std::move(request.fallback)] {
            watcher->deleteLater();
            waiting_ = false;
            const QDBusPendingReply<uint> reply = *watcher;
            if (reply.isError()) {
                if (fallback) fallback();
            } else {
                lastId_ = reply.value();
                link_ = link;
            }
            if (held_) {
                Request next = std::move(*held_);
                held_.reset();
                Send(std::move(next));
            }
        });
}

void DbusNotification::OnActionInvoked(uint id, const QString& action) {
    if (id == 0 || id != lastId_) return;  // another program's notification
    if (action == kOpenAction) {
        OpenLink(link_);
    } else if (action == QStringLiteral("default") && onClick) {
        onClick();
    }
}

void DbusNotification::OnClosed(uint id, uint) {
    // A closed notification cannot be replaced: the next one starts anew.
    if (id == lastId_) lastId_ = 0;
}

}  // namespace vela
