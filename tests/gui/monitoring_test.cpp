#include "gui/monitoring.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "monitor_fixture.h"
#include "store/run_lock.h"
#include "tests/support/notification_recorder.h"

namespace vela {
namespace {

class MonitoringTest : public ::testing::Test, public test::MonitorFixture {
protected:
    QPushButton* Run() { return window.Control<QPushButton>("运行"); }
    void SetAutomatic(bool on, const char* frequency) {
        window.Control<QCheckBox>("自动监控框")->setChecked(on);
        window.Control<QLineEdit>("频率框")->setText(frequency);
    }
};

TEST_F(MonitoringTest, FrequencyBelowTenIsRefusedOnlyWithAutomaticMonitoring) {
    AddScheme();
    SetAutomatic(true, "5");
    ToggleMonitoring(context);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("监控频率不能低于 10 秒"));
    EXPECT_EQ(window.Control<QLineEdit>("频率框")->text(), "10");
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(MonitoringTest, NoCheckedSchemeIsRefused) {
    AddScheme();
    SetRowChecked(window.Control<QTableWidget>("项目列表框"), 0, false);
    ToggleMonitoring(context);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("请勾选至少1个 监控方案"));
    EXPECT_TRUE(window.Control("状态")->isVisibleTo(&window));
    EXPECT_TRUE(window.Control("自动监控框")->isEnabled());
}

TEST_F(MonitoringTest, SingleCycleRecordsReloadsAlertsOnceAndStopsByItself) {
    AddScheme();
    SetAutomatic(false, " 5 sec");
    ToggleMonitoring(context);  // returns when the cycle is over
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_TRUE(window.Control("自动监控框")->isEnabled());
    EXPECT_EQ(window.Control<QTabWidget>("选择夹")->currentIndex(), 1);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(window.Control<QTableWidget>("文章列表框")->rowCount(), 3) << "reloaded";
    EXPECT_EQ(CellText(window.Control<QTableWidget>("项目列表框"), 0, 7), "Title 3");
    EXPECT_EQ(sounds, 1);
    EXPECT_TRUE(tray.IsAlert());
    EXPECT_EQ(state.NewArticlesFound, 0);
    EXPECT_EQ(state.StopRequested, 1);
    std::string status = Status();
    // The cycle's end replaced the whole text, the frequency exactly as typed.
    EXPECT_EQ(status.rfind(Gbk("已执行一轮， 5 sec秒后继续下一轮----"), 0), 0u) << status;
    EXPECT_NE(status.find(Gbk("\r\n发现有新内容，已发出提醒通知！----")), std::string::npos);
    EXPECT_EQ(status.substr(status.size() - 12), "\r\n" + Gbk("执行完毕！"));
}

TEST_F(MonitoringTest, AutomaticCyclesRecordEachArticleOnceAndAlertPerCycleWithNews) {
    AddScheme();
    SetAutomatic(true, "10");
    size_t requestsAtSecondAlert = 0;
    context.alert.playSound = [&] {
        ++sounds;
        if (sounds == 1) page = test::BoardPage({5, 4, 3, 2, 1});  // two new articles
        if (sounds == 2) requestsAtSecondAlert = server.Requests().size();
    };
    // Stop once a third cycle, which finds nothing new, has fetched the page and ended.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (requestsAtSecondAlert && server.Requests().size() > requestsAtSecondAlert &&
            state.WorkerBusy == 0 && Run()->text() == "停 止") {
            ToggleMonitoring(context);
        }
    });
    watcher.start(5);
    ToggleMonitoring(context);
    EXPECT_EQ(sounds, 2);
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}, {"Title 4"}, {"Title 5"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 5"}}));
    EXPECT_EQ(window.Control<QTableWidget>("文章列表框")->rowCount(), 5);
    EXPECT_GE(server.Requests().size(), 3u);
}

TEST_F(MonitoringTest, CycleWithoutNewArticlesNeitherReloadsNorAlerts) {
    AddScheme(8, "", 99);  // every id on the page is below 99
    SetAutomatic(false, "300");
    ToggleMonitoring(context);
    EXPECT_EQ(sounds, 0);
    EXPECT_FALSE(tray.IsAlert());
    EXPECT_EQ(window.Control<QTableWidget>("文章列表框")->rowCount(), 0);
    EXPECT_EQ(Rows("select lastid from rule"), (TextTable{{"99"}}));
    // The run stamped the scheme's time, but the scheme list was not reloaded.
    EXPECT_FALSE(Rows("select lasttime from rule").at(0).at(0).empty());
    EXPECT_EQ(CellText(window.Control<QTableWidget>("项目列表框"), 0, 9), "");
}

TEST_F(MonitoringTest, StopWhileTheWorkerWaitsForThePage) {
    AddScheme();
    stall = true;
    SetAutomatic(true, "10");
    window.Control<QPlainTextEdit>("测试编辑框")->setPlainText("earlier region");
    // The stop is pressed while the loop waits for the stalled worker.
    QTimer::singleShot(0, [this] {
        QTRY_VERIFY_WITH_TIMEOUT(!server.Requests().empty(), 5000);
        ToggleMonitoring(context);
        EXPECT_EQ(Run()->text(), "开 始") << "the caption changes at once";
    });
    ToggleMonitoring(context);
    EXPECT_EQ(state.StopRequested, 1);
    EXPECT_EQ(state.WorkerBusy, 0);
    EXPECT_TRUE(Rows("select * from info").empty());
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(window.Control("频率框")->isEnabled());
    // The cut-short transfer is not judged as a page.
    EXPECT_EQ(Status().find(Gbk("出错！")), std::string::npos) << Status();
    EXPECT_EQ(window.Control<QPlainTextEdit>("测试编辑框")->toPlainText(), "earlier region");
}

// A stop while another program holds the database's write lock ends the worker's
// wait for it at once; the statement it cut short is no error to show.
TEST_F(MonitoringTest, StopWhileAnotherProgramHoldsTheDatabase) {
    AddScheme();
    Database holder;
    ASSERT_TRUE(holder.OpenDatabase(file.path(), false));
    ASSERT_TRUE(holder.ExecSql("begin immediate"));
    SetAutomatic(false, "300");
    std::chrono::steady_clock::time_point stopped;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(!server.Requests().empty(), 5000);
        // The worker now waits to store the first article.
        QTest::qWait(300);
        stopped = std::chrono::steady_clock::now();
        ToggleMonitoring(context);
    });
    ToggleMonitoring(context);  // returns once the worker has finished
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
    EXPECT_EQ(state.WorkerBusy, 0);
    EXPECT_TRUE(messages.boxes.empty()) << messages.boxes.size();
    ASSERT_TRUE(holder.ExecSql("rollback"));
    EXPECT_TRUE(Rows("select * from info").empty());
}

// Without its run lock a run could store every article a second time beside another
// program on the same file: one box names the lock file and nothing runs, whether
// the lock fails before the first cycle or between two schemes.
TEST_F(MonitoringTest, UnusableRunLockShowsOneBoxAndRunsNothingUnguarded) {
    namespace fs = std::filesystem;
    const std::string lockPath = RunLockPath(file.path());
    AddScheme(0, "", 0, "first");
    AddScheme(0, "", 0, "second");
    SetAutomatic(false, "300");
    fs::create_directory(lockPath);
    ToggleMonitoring(context);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_NE(messages.boxes[0].text.find(lockPath), std::string::npos) << messages.boxes[0].text;
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_TRUE(window.Control("频率框")->isEnabled());
    EXPECT_TRUE(server.Requests().empty());

    // The lock file goes bad while the first scheme runs: the second does not run.
    fs::remove(lockPath);
    onRequest = [&] {
        fs::remove(lockPath);
        fs::create_directory(lockPath);
    };
    ToggleMonitoring(context);
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_NE(messages.boxes[1].text.find(lockPath), std::string::npos) << messages.boxes[1].text;
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(Rows("select planname from info group by planname"), (TextTable{{"first"}}));
    fs::remove(lockPath);
}

// A database SQLite can only read is found before the cycle, as the runner finds
// it: one line in 状态, not a single request.
TEST_F(MonitoringTest, ReadOnlyDatabaseIsToldInTheStatusBeforeAnyRequest) {
    AddScheme();
    SetAutomatic(false, "300");
    db.CloseDatabase();
    std::string bytes;
    {
        std::ifstream in(file.path(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(bytes.size(), 18u);
    bytes[18] = 3;  // a write version of the file format SQLite only reads
    test::WriteFile(file.dir(), "vela.sdb", bytes);
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ToggleMonitoring(context);
    EXPECT_NE(Status().find(Gbk("数据库无法写入：SQLite opened it read-only")), std::string::npos)
        << Status();
    EXPECT_NE(Status().find(Gbk("，监控未开始----")), std::string::npos) << Status();
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_TRUE(server.Requests().empty());
}

// A stop between two inserts: the scheme list is reloaded once the worker has
// finished, so the next start reads the marker the stored article moved.
TEST_F(MonitoringTest, StopBetweenInsertsThenStartStoresEachArticleOnce) {
    AddScheme();
    SetAutomatic(false, "300");
    context.process.timings.insertPauseMs = 300;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (Run()->text() == "停 止" && Rows("select count(*) from info").at(0).at(0) == "1") {
            ToggleMonitoring(context);
        }
    });
    watcher.start(5);
    ToggleMonitoring(context);
    watcher.stop();
    EXPECT_EQ(CellText(window.Control<QTableWidget>("项目列表框"), 0, 7), "Title 1");
    context.process.timings.insertPauseMs = 1;
    ToggleMonitoring(context);
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
}

TEST_F(MonitoringTest, SingleCycleStoppedByTheUserDoesNotStartAgain) {
    AddScheme();
    stall = true;
    SetAutomatic(false, "300");
    QTimer::singleShot(0, [this] {
        QTRY_VERIFY_WITH_TIMEOUT(!server.Requests().empty(), 5000);
        ToggleMonitoring(context);
    });
    ToggleMonitoring(context);
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_EQ(state.StopRequested, 1);
    EXPECT_EQ(server.Requests().size(), 1u);
    std::string status = Status();
    EXPECT_EQ(status.substr(status.size() - 12), "\r\n" + Gbk("执行完毕！"));
}

// Two presses of 开 始 while a stopped worker is still finishing, then one stop:
// the start that was waiting must not take over again after that stop.
TEST_F(MonitoringTest, StartsWhileAStoppedWorkerFinishesEndWithTheNextStop) {
    AddScheme();
    stall = true;
    SetAutomatic(true, "10");
    size_t requestsAtStop = 0;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (requestsAtStop == 0 && server.Requests().size() == 2 && Run()->text() == "停 止") {
            requestsAtStop = server.Requests().size();
            ToggleMonitoring(context);
        } else if (requestsAtStop != 0 && Run()->text() == "停 止") {
            ToggleMonitoring(context);  // only when monitoring started again by itself
        }
    });
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(server.Requests().size() == 1, 5000);
        ToggleMonitoring(context);  // stop; the worker still waits for the page
        // Queued before the worker can finish (it needs this thread for its last
        // status line), so it runs inside the wait of the start below.
        QTimer::singleShot(0, [&] { ToggleMonitoring(context); });
        stopper.start(5);
        ToggleMonitoring(context);  // start: waits for the stopped worker
    });
    ToggleMonitoring(context);
    EXPECT_EQ(requestsAtStop, 2u);
    EXPECT_EQ(server.Requests().size(), requestsAtStop);
    EXPECT_EQ(Run()->text(), "开 始");
    EXPECT_EQ(state.StopRequested, 1);
}

TEST_F(MonitoringTest, AlertFollowsItsCheckBoxes) {
    auto* icon = window.Control<QCheckBox>("图标提醒");
    auto* voice = window.Control<QCheckBox>("语音提醒");
    state.NewArticlesFound = 1;
    NewArticleAlert(true, context.alert);
    EXPECT_TRUE(tray.IsAlert());
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(state.NewArticlesFound, 0);
    icon->setChecked(false);
    NewArticleAlert(false, context.alert);
    EXPECT_TRUE(tray.IsAlert()) << "the alert icon stays while the box is clear";
    icon->setChecked(true);
    NewArticleAlert(false, context.alert);
    EXPECT_FALSE(tray.IsAlert());
    // Both boxes clear: only the line, and the flag is still cleared.
    icon->setChecked(false);
    voice->setChecked(false);
    state.NewArticlesFound = 1;
    std::string before = Status();
    NewArticleAlert(true, context.alert);
    EXPECT_EQ(sounds, 1);
    EXPECT_FALSE(tray.IsAlert());
    EXPECT_EQ(state.NewArticlesFound, 0);
    EXPECT_EQ(
        Status().substr(before.size()).rfind("\r\n" + Gbk("发现有新内容，已发出提醒通知！----"), 0),
        0u);
}

// One desktop notification per cycle with news, naming what that cycle recorded; with
// 桌面通知 clear the alert is the plain one, and what it found is not told later.
TEST_F(MonitoringTest, CycleWithNewsNotifiesOnceNamingItsArticles) {
    test::NotificationRecorder recorder;
    AddScheme(0, "", 0, "board's");
    SetAutomatic(false, "300");
    ToggleMonitoring(context);
    ASSERT_EQ(recorder.notifications.size(), 1u);
    EXPECT_EQ(recorder.notifications[0].title, Gbk("发现 3 篇新文章"));
    EXPECT_EQ(recorder.notifications[0].text,
              Gbk("【board's】Title 3\n【board's】Title 2\n【board's】Title 1"));

    auto* desktop = window.Control<QCheckBox>("桌面通知");
    desktop->setChecked(false);
    page = test::BoardPage({5, 4, 3, 2, 1});
    ToggleMonitoring(context);
    EXPECT_EQ(recorder.notifications.size(), 1u);
    EXPECT_EQ(sounds, 2);
    EXPECT_TRUE(tray.IsAlert());
    EXPECT_NE(Status().find(Gbk("\r\n发现有新内容，已发出提醒通知！----")), std::string::npos);

    desktop->setChecked(true);
    ToggleMonitoring(context);  // nothing new
    EXPECT_EQ(recorder.notifications.size(), 1u);
    page = test::BoardPage({6, 5, 4, 3, 2, 1});
    ToggleMonitoring(context);
    ASSERT_EQ(recorder.notifications.size(), 2u);
    EXPECT_EQ(recorder.notifications[1].title, Gbk("发现 1 篇新文章"));
    EXPECT_EQ(recorder.notifications[1].text, Gbk("【board's】Title 6"));
    EXPECT_EQ(Rows("select count(*) from info"), (TextTable{{"6"}}));
}

TEST_F(MonitoringTest, AutoMonitorBoxShowsTheFrequency) {
    BindMonitoring(context);
    window.show();
    auto* box = window.Control<QCheckBox>("自动监控框");
    box->click();
    EXPECT_TRUE(window.Control("频率框")->isVisible());
    EXPECT_TRUE(window.Control("标签13")->isVisible());
    box->click();
    EXPECT_FALSE(window.Control("频率框")->isVisible());
}

}  // namespace
}  // namespace vela
