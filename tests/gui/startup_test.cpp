#include "gui/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include "gui/database_startup.h"
#include "gui/gbk_text.h"
#include "gui/main_window.h"
#include "gui/tray_icon.h"
#include "skin/skin.h"
#include "store/database.h"
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

// A file of an earlier version opens as ever and gets the table of the scheme
// fields.
TEST(Startup, GoodDatabaseOpensWithoutAMessage) {
    test::TestDatabaseFile file(test::TestDatabaseFile::kWithoutSchemeFields);
    MainWindow window;
    Database db;
    test::MessageRecorder messages;
    Started started = Start(window, db, file.path());
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(
        test::QueryRows(db, "select count(*) from sqlite_master where name like 'rule_field%'"),
        (TextTable{{"3"}}));
    EXPECT_TRUE(window.Control<QPushButton>("运行")->isEnabled());
    EXPECT_TRUE(started.filled);
}

TEST(Startup, SkinIsAttachedBeforeTheListsAndMissingOneIsSilent) {
    test::TestDatabaseFile file;
    test::MessageRecorder messages;
    for (bool valid : {false, true}) {
        SCOPED_TRACE(valid);
        qApp->setStyleSheet(QString());
        Skin skin([](std::string_view sheet) {
            qApp->setStyleSheet(QString::fromUtf8(sheet.data(), sheet.size()));
        });
        const uint8_t garbage[] = {'M', 'Z', 0, 0};
        skin.LoadSkinLibrary(valid ? SkinLibraryImage() : std::span<const uint8_t>(garbage));
        MainWindow window;
        Database db;
        TrayIcon tray(&window);
        bool styledWhenFilled = false;
        StartupSteps steps;
        steps.attachSkin = [&] { skin.AttachSkin(); };
        steps.startDatabase = [&] { return StartDatabase(db, window, file.path()); };
        steps.fillLists = [&] { styledWhenFilled = !qApp->styleSheet().isEmpty(); };
        OnWindowCreated(window, tray, steps);
        EXPECT_EQ(styledWhenFilled, valid);
    }
    EXPECT_TRUE(messages.boxes.empty());
    qApp->setStyleSheet(QString());
}

}  // namespace
}  // namespace vela
