#include "app/startup.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include "app/gbk_text.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "store/database.h"
#include "store/database_startup.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

struct Started {
    bool filled = false;
    bool skinned = false;
};

Started Start(MainWindow& window, Database& db, const std::string& path) {
    Started started;
    TrayIcon tray(&window);
    StartupSteps steps;
    steps.attachSkin = [&] { started.skinned = true; };
    steps.startDatabase = [&] { return StartDatabase(db, window, path); };
    steps.fillLists = [&] { started.filled = true; };
    OnWindowCreated(window, tray, steps);
    return started;
}

TEST(Startup, MissingDatabaseStopsBeforeTheLists) {
    test::TestDatabaseFile file;
    MainWindow window;
    Database db;
    test::MessageRecorder messages;
    Started started = Start(window, db, file.dir() + "/absent.sdb");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("数据库文件不存在！"));
    EXPECT_EQ(messages.boxes[0].caption, Gbk("错误"));
    EXPECT_FALSE(window.Control<QPushButton>("运行")->isEnabled());
    EXPECT_TRUE(started.skinned);
    EXPECT_FALSE(started.filled);
}

TEST(Startup, CorruptDatabaseIsRefusedAndTheListsStillFill) {
    test::TestDatabaseFile file;
    MainWindow window;
    Database db;
    test::MessageRecorder messages;
    Started started = Start(window, db, test::WriteFile(file.dir(), "bad.sdb", "not a database"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("数据库打开失败！"));
    EXPECT_EQ(messages.boxes[0].caption, Gbk("信息："));
    EXPECT_FALSE(window.Control<QPushButton>("运行")->isEnabled());
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(started.filled);
}

TEST(Startup, GoodDatabaseOpensWithoutAMessage) {
    test::TestDatabaseFile file;
    MainWindow window;
    Database db;
    test::MessageRecorder messages;
    Started started = Start(window, db, file.path());
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(db.IsOpen());
    EXPECT_TRUE(window.Control<QPushButton>("运行")->isEnabled());
    EXPECT_TRUE(started.filled);
}

}  // namespace
}  // namespace vela
