// The window's notification channels: the 通知渠道… dialog on notify.conf, and the
// delivery of a cycle's articles to every channel, off the GUI thread.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "gui/channel_delivery.h"
#include "gui/channels_dialog.h"
#include "monitor_fixture.h"
#include "tests/support/notification_recorder.h"

namespace vela {
namespace {

namespace fs = std::filesystem;
using test::CannedReply;
using test::SimpleResponse;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Body(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

class ChannelsWindowTest : public ::testing::Test, public test::MonitorFixture {
protected:
    ChannelsWindowTest()
        : hook([this](const std::string&) {
              std::lock_guard lock(mutex);
              // A channel that took the request and says nothing.
              if (hold) return CannedReply{"", true};
              return CannedReply{refuse ? SimpleResponse("500 Internal Server Error", "no")
                                        : SimpleResponse("200 OK", R"({"ok":true})")};
          }) {
        config = file.dir() + "/config";
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("VELA_NOTIFY_TGRAM_URL", hook.Url("").c_str(), 1);
        path = config + "/vela/notify.conf";
    }

    std::mutex mutex;
    bool refuse = false;
    bool hold = false;
    test::LoopbackHttpServer hook;
    std::string config;
    std::string path;
};

TEST_F(ChannelsWindowTest, DialogAddsRemovesAndTestsChannelsOfTheFile) {
    fs::create_directories(config + "/vela");
    test::WriteFile(config + "/vela", "notify.conf", "# mine\njson://127.0.0.1:1/x\n");
    ChannelsDialog dialog(path);
    ASSERT_EQ(dialog.list->count(), 1);

    // Refused with its reason, the file untouched.
    dialog.edit->setText("tgram://only-a-token");
    dialog.addButton->click();
    EXPECT_TRUE(dialog.result->text().contains("tgram://bot_token/chat_id"))
        << dialog.result->text().toStdString();
    EXPECT_EQ(dialog.list->count(), 1);

    dialog.edit->setText(" tgram://1:SECRETTOKEN/7 ");
    dialog.addButton->click();
    ASSERT_EQ(dialog.list->count(), 2);
    EXPECT_EQ(dialog.list->item(1)->text(), "tgram://****/7");
    EXPECT_EQ(FileText(path), "# mine\njson://127.0.0.1:1/x\ntgram://1:SECRETTOKEN/7\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    dialog.list->setCurrentRow(1);
    dialog.testButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.testButton->isEnabled(); }, 10000));
    EXPECT_EQ(dialog.result->text(), "测试消息已发送到 tgram://****/7");
    ASSERT_EQ(hook.Requests().size(), 1u);
    EXPECT_NE(Body(hook.Requests()[0]).find("vela 测试通知"), std::string::npos);

    dialog.list->setCurrentRow(0);
    dialog.removeButton->click();
    ASSERT_EQ(dialog.list->count(), 1);
    EXPECT_EQ(FileText(path), "# mine\ntgram://1:SECRETTOKEN/7\n");
    EXPECT_FALSE(dialog.result->text().contains("SECRETTOKEN"));
}

// A cycle with news sends one message to every channel; one the channel refused
// waits in the outbox and goes out with the next cycle.
TEST_F(ChannelsWindowTest, ACycleWithNewsReachesEveryChannelOffTheGuiThread) {
    test::NotificationRecorder recorder;
    context.alert.database = &db;
    fs::create_directories(config + "/vela");
    test::WriteFile(config + "/vela", "notify.conf", "tgram://1:A/7\n");
    page = test::BoardPage({2, 1});
    AddScheme(0, "", 0, "board's");
    window.Control<QCheckBox>("自动监控框")->setChecked(false);
    {
        std::lock_guard lock(mutex);
        refuse = true;
    }
    ToggleMonitoring(context);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hook.Requests().size() == 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Status().find(Gbk("通知发送失败：")) != std::string::npos; }, 10000));
    EXPECT_NE(Status().find("tgram://****/7"), std::string::npos);
    {
        std::lock_guard lock(mutex);
        refuse = false;
    }
    page = test::BoardPage({3, 2, 1});
    ToggleMonitoring(context);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hook.Requests().size() == 3; }, 10000));
    const std::vector<std::string> requests = hook.Requests();
    // The refused message once more, oldest first, then the new one.
    EXPECT_EQ(Body(requests[1]), Body(requests[0]));
    const nlohmann::json first = nlohmann::json::parse(Body(requests[1]));
    EXPECT_EQ(first["text"],
              "<b>发现 2 篇新文章</b>\n<b>【board&#39;s】</b>\n"
              "<a href=\"http://bbs.example/t/2\">Title 2</a>\n"
              "<a href=\"http://bbs.example/t/1\">Title 1</a>");
    EXPECT_NE(Body(requests[2]).find("发现 1 篇新文章"), std::string::npos);
    QTest::qWait(600);
    EXPECT_EQ(hook.Requests().size(), 3u);
}

// What a cycle stored while a delivery was under way waits in the database, not
// in the window: closing the window then loses nothing, and the next start of
// monitoring sends it, with the message cut short.
TEST_F(ChannelsWindowTest, ClosingTheWindowWithArticlesWaitingLosesNone) {
    fs::create_directories(config + "/vela");
    test::WriteFile(config + "/vela", "notify.conf", "tgram://1:A/7\n");
    const auto store = [&](int id) {
        const std::string n = std::to_string(id);
        ASSERT_TRUE(db.ExecSql(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values('board',"
            "'1','Title " +
            n + "','http://bbs.example/t/" + n + "','','2026-12-11 9:5 7','0')"));
    };
    {
        std::lock_guard lock(mutex);
        hold = true;
    }
    ASSERT_EQ(PrepareChannelDelivery(window, db, true), "");
    store(1);
    store(2);
    DeliverToChannels(window, db.Path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return hook.Requests().size() == 1; }, 10000));
    store(3);
    store(4);
    DeliverToChannels(window, db.Path());
    StopChannelDelivery();  // the window closes
    {
        std::lock_guard lock(mutex);
        hold = false;
    }
    ASSERT_EQ(PrepareChannelDelivery(window, db, true), "");
    const auto sentAgain = [&] {
        std::string bodies;
        const std::vector<std::string> requests = hook.Requests();
        for (std::size_t i = 1; i < requests.size(); ++i) bodies += Body(requests[i]);
        return bodies;
    };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return sentAgain().find("Title 3") != std::string::npos; }, 10000));
    for (const char* title : {"Title 1", "Title 2", "Title 4"}) {
        EXPECT_NE(sentAgain().find(title), std::string::npos) << title;
    }
}

// A notify.conf line no service takes is found before the cycle: 状态 names it
// (masked), no page is fetched, nothing is stored.
TEST_F(ChannelsWindowTest, ABadChannelLineKeepsMonitoringFromStarting) {
    context.alert.database = &db;
    fs::create_directories(config + "/vela");
    test::WriteFile(config + "/vela", "notify.conf", "tgram://1:SECRET/7\nnope://what\n");
    AddScheme();
    ToggleMonitoring(context);
    EXPECT_NE(Status().find(Gbk("通知渠道无法使用：nope://what: unknown channel type")),
              std::string::npos)
        << Status();
    EXPECT_NE(Status().find(Gbk("监控未开始")), std::string::npos);
    EXPECT_EQ(Status().find("SECRET"), std::string::npos);
    EXPECT_EQ(window.Control<QPushButton>("运行")->text(), "开 始");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Rows("select count(*) from info"), (TextTable{{"0"}}));
}

}  // namespace
}  // namespace vela
