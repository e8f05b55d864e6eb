// The window's desktop notification on a private session bus of its own, with a
// notification server that records each call: title, text, actions, replaces-id,
// and what its actions do.

#include "gui/desktop_notification.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>
#include <QTest>
#include <QVariantMap>
#include <string>

#include "fetch/encoding.h"
#include "gui/dbus_notification.h"
#include "gui/open_link.h"
#include "gui/tray_icon.h"

namespace vela {
namespace {

// How long a wait for the bus may take before the test fails. Generous, since a
// loaded machine may take seconds to pass a message on; every wait ends as soon as
// its condition holds.
constexpr int kPatienceMs = 30000;

struct NotifyCall {
    QString app;
    uint replacesId;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
};

// org.freedesktop.Notifications as a desktop serves it, recording every call.
class RecordingServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    std::vector<NotifyCall> calls;
    uint nextId = 40;

public slots:
    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        calls.push_back({app, replacesId, icon, summary, body, actions});
        return replacesId != 0 ? replacesId : ++nextId;
    }
};

class DesktopNotification : public ::testing::Test {
protected:
    // Starts a private session bus and reads its address from the daemon's own
    // output, as soon as it is written.
    static void SetUpTestSuite() {
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const char* argv[] = {"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1",
                              nullptr};
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) ==
            0) {
            daemonPid_ = pid;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::string address;
        pollfd ready{out[0], POLLIN, 0};
        char c = 0;
        while (::poll(&ready, 1, kPatienceMs) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n') {
            address += c;
        }
        ::close(out[0]);
        address_ = new std::string(c == '\n' ? address : "");
        // Before anything touches the session bus: this process's bus is the private one.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_->c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (daemonPid_ > 0) {
            ::kill(daemonPid_, SIGTERM);
            ::waitpid(daemonPid_, nullptr, 0);
        }
        delete address_;
    }

    void SetUp() override {
        ASSERT_FALSE(address_->empty()) << "no private session bus (dbus-daemon installed?)";
        server_ = QDBusConnection::connectToBus(QString::fromStdString(*address_), "recorder");
        ASSERT_TRUE(server_.isConnected());
        ASSERT_TRUE(server_.registerObject("/org/freedesktop/Notifications", &recorder_,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server_.registerService("org.freedesktop.Notifications"));
    }
    void TearDown() override {
        server_.unregisterService("org.freedesktop.Notifications");
        server_.unregisterObject("/org/freedesktop/Notifications");
        QDBusConnection::disconnectFromBus("recorder");
    }

    void Invoke(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
        signal << id << action;
        server_.send(signal);
    }

    static inline pid_t daemonPid_ = -1;
    static inline std::string* address_ = nullptr;
    QDBusConnection server_{QString()};
    RecordingServer recorder_;
};

TEST_F(DesktopNotification, GoesToTheNotificationServiceAndReplacesThePreviousOne) {
    TrayIcon tray;
    std::vector<QUrl> opened;
    const UrlOpener previous = SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    int clicks = 0;
    SetNotificationClickHandler([&] { ++clicks; });

    ShowNotification(tray, {Gbk("发现 2 篇新文章"), Gbk("【论坛】标题一\n【论坛】标题二"),
                            "http://bbs.example/t/2"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder_.calls.size() == 1; }, kPatienceMs));
    const NotifyCall& first = recorder_.calls[0];
    EXPECT_EQ(first.app, QString("澜栖监控"));
    EXPECT_EQ(first.icon, QString("example.lanqi.vela"));
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, QString("发现 2 篇新文章"));
    EXPECT_EQ(first.body, QString("【论坛】标题一\n【论坛】标题二"));
    EXPECT_EQ(first.actions, (QStringList{"default", "显示窗口", "open", "打开"}));

    // The next one, asked for before the first one's reply has come, replaces it.
    ShowNotification(tray, {Gbk("发现 1 篇新文章"), Gbk("【论坛】标题三"), "javascript:alert(1)"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder_.calls.size() == 2; }, kPatienceMs));
    EXPECT_EQ(recorder_.calls[1].replacesId, 41u);
    EXPECT_EQ(recorder_.calls[1].body, QString("【论坛】标题三"));
    // A link that may not be opened offers no 打开.
    EXPECT_EQ(recorder_.calls[1].actions, (QStringList{"default", "显示窗口"}));

    // Of two asked for while one waits, the newer goes out; the older would be
    // replaced at once.
    ASSERT_TRUE(
        QTest::qWaitFor([] { return !DbusNotification::Instance().Waiting(); }, kPatienceMs));
    ShowNotification(tray, {Gbk("发现 1 篇新文章"), Gbk("y"), ""});
    ShowNotification(tray, {Gbk("发现 1 篇新文章"), Gbk("z"), ""});
    ShowNotification(tray, {Gbk("发现 1 篇新文章"), Gbk("x"), "https://news.example/a?b=1"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return recorder_.calls.size() == 4 && !DbusNotification::Instance().Waiting(); },
        kPatienceMs));
    EXPECT_EQ(recorder_.calls[2].body, QString("y"));
    EXPECT_EQ(recorder_.calls[3].body, QString("x"));
    EXPECT_EQ(recorder_.calls[3].replacesId, 41u);
    Invoke(99, "open");  // someone else's notification
    Invoke(41, "open");
    Invoke(41, "default");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks == 1; }, kPatienceMs));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("https://news.example/a?b=1"));
    SetUrlOpener(previous);
    SetNotificationClickHandler({});
}

// The tray icon the fallback shows its message on may be gone by the time the
// bus says no service answers.
TEST_F(DesktopNotification, TheTrayIconMayGoBeforeTheFallbackRuns) {
    server_.unregisterService("org.freedesktop.Notifications");
    auto* tray = new TrayIcon;
    ShowNotification(*tray, {Gbk("发现 1 篇新文章"), Gbk("x"), ""});
    ASSERT_TRUE(DbusNotification::Instance().Waiting());
    delete tray;
    EXPECT_TRUE(
        QTest::qWaitFor([] { return !DbusNotification::Instance().Waiting(); }, kPatienceMs));
}

TEST_F(DesktopNotification, FallsBackWhenNoServiceAnswers) {
    server_.unregisterService("org.freedesktop.Notifications");
    bool fellBack = false;
    DbusNotification::Instance().Show("t", "x", "", [&] { fellBack = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fellBack; }, kPatienceMs));
    EXPECT_TRUE(recorder_.calls.empty());
}

}  // namespace
}  // namespace vela

#include "desktop_notification_test.moc"
