#include "gui/process_scheme.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <thread>

#include "engine/record_plan.h"
#include "engine/scheme_run.h"
#include "gui/keyword_boxes.h"
#include "gui/responsive_wait.h"
#include "gui/test_display.h"
#include "monitor_fixture.h"
#include "store/scheme_fields.h"

namespace vela {
namespace {

class ProcessSchemeTest : public ::testing::Test, public test::MonitorFixture {
protected:
    // A monitoring run on a plain thread, as the worker runs it, with the GUI
    // thread serving its hand-overs meanwhile.
    void RunWorker(int task = 1) {
        state.CheckedSchemeRows = {0};
        state.CheckedSchemeCount = 1;
        state.CurrentTask = task;
        state.WorkerBusy = 1;
        std::thread worker([this, scheme = SchemeOfCurrentTask(window, state)] {
            RunMonitorTask(context.process, scheme);
        });
        QTRY_VERIFY_WITH_TIMEOUT(state.WorkerBusy == 0, 10000);
        worker.join();
    }
    void SetEditor(const char* name, const std::string& text) {
        window.Control<QLineEdit>(name)->setText(FromGbk(text));
    }
    void SetUpEditor(const std::string& pattern) {
        SetEditor("编辑框_网址", server.Url("/board"));
        window.Control<QComboBox>("正则框")->setEditText(FromGbk(pattern));
    }
};

TEST_F(ProcessSchemeTest, FirstMonitorRunRecordsEveryMatchAndMovesTheMarker) {
    AddScheme(0);
    RunWorker();
    EXPECT_EQ(Rows("select planname,planid,title,url,other,issoucang from info order by id"),
              (TextTable{{"board", "1", "Title 1", "http://bbs.example/t/1", "1", "0"},
                         {"board", "1", "Title 2", "http://bbs.example/t/2", "2", "0"},
                         {"board", "1", "Title 3", "http://bbs.example/t/3", "3", "0"}}));
    EXPECT_EQ(Rows("select arttile,arturl,lastid from rule"),
              (TextTable{{"Title 3", "http://bbs.example/t/3", "0"}}));
    EXPECT_EQ(state.NewArticlesFound, 1);
    std::string status = Status();
    EXPECT_NE(status.find(Gbk("出错！无法在源码中找到最后文章标记！")), std::string::npos);
    EXPECT_NE(status.find("\r\n" + Gbk("任务1已结束----")), std::string::npos);
    // The request carried the scheme's cookie and agent.
    std::string request = server.Requests().at(0);
    EXPECT_NE(request.find("Cookie: sid=1\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("User-Agent: TestAgent\r\n"), std::string::npos) << request;
    // The region replaced the tester's source box, CR LF pairs removed.
    std::string shown = RemoveCrLf(test::BoardPage({3, 2, 1}));
    size_t begin = shown.find("<ul>") + 4;
    shown = shown.substr(begin, shown.find("</ul>") - begin);
    EXPECT_EQ(ToGbkLines(window.Control<QPlainTextEdit>("测试编辑框")->toPlainText()), shown);
}

TEST_F(ProcessSchemeTest, LaterRunRecordsOnlyWhatIsNew) {
    AddScheme(0, "Title 3");
    page = test::BoardPage({5, 4, 3, 2, 1});
    state.NewArticlesFound = 0;
    RunWorker();
    EXPECT_EQ(Rows("select title from info order by id"), (TextTable{{"Title 4"}, {"Title 5"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 5"}}));
    EXPECT_EQ(Status().find(Gbk("出错！无法在源码中找到最后文章标记！")), std::string::npos);
}

// The last title seen is compared with whole titles: a newer title that contains
// it does not hide the articles that follow.
TEST_F(ProcessSchemeTest, LastTitleInsideNewerTitlesHidesNothing) {
    AddScheme(0, "Title 1");
    page = test::BoardPage({11, 10, 1});
    RunWorker();
    EXPECT_EQ(Rows("select title from info order by id"), (TextTable{{"Title 10"}, {"Title 11"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 11"}}));
    EXPECT_EQ(state.NewArticlesFound, 1);
}

TEST_F(ProcessSchemeTest, HostilePageTextIsStoredAsItStands) {
    AddScheme(0, "", 0, "it's; mine");
    page = "<ul><li id=9><a href=\"/x');drop table rule;--\">A'B;(C)</a></li></ul>";
    RunWorker();
    EXPECT_EQ(Rows("select planname,title,url from info"),
              (TextTable{{"it's; mine",
                          "A'B\xA3\xBB\xA3\xA8"
                          "C\xA3\xA9",
                          "http://bbs.example/x');drop table rule;--"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"A'B;(C)"}}));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ProcessSchemeTest, StoppedRunMakesNoRequestAndNoStatement) {
    AddScheme(0);
    state.StopRequested = 1;
    RunWorker();
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(Rows("select * from info").empty());
    EXPECT_NE(Status().find(Gbk("任务1已结束----")), std::string::npos);
}

TEST_F(ProcessSchemeTest, StopInThePauseAfterAnInsertRunsNoFurtherStatement) {
    AddScheme(0);
    context.process.timings.insertPauseMs = 400;
    std::string rowsAtStop;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!rowsAtStop.empty()) return;
        std::string count = Rows("select count(*) from info").at(0).at(0);
        if (count != "0") {
            rowsAtStop = count;
            state.StopRequested = 1;
            WakeWaits();
        }
    });
    watcher.start(5);
    RunWorker();
    EXPECT_EQ(rowsAtStop, "1");
    EXPECT_EQ(Rows("select title from info"), (TextTable{{"Title 1"}}));
    // The marker moved with the one article stored, and no further.
    EXPECT_EQ(Rows("select arttile,lastid,lasttime from rule"), (TextTable{{"Title 1", "0", ""}}));
}

// A stop after any insert, then a normal run: every article of the page stored
// exactly once, in each judgement mode (the marker moves with each insert).
TEST_F(ProcessSchemeTest, StopAfterAnyInsertThenANormalRunStoresEachArticleOnce) {
    struct Mode {
        int type;
        std::string page;
    };
    const Mode modes[] = {{0, test::BoardPage({3, 2, 1})},
                          {2, test::BoardPage({1, 2, 3})},
                          {8, test::BoardPage({3, 2, 1})}};
    for (const Mode& mode : modes) {
        for (int stopAfter : {1, 2}) {
            SCOPED_TRACE(testing::Message()
                         << "type " << mode.type << ", stop after " << stopAfter);
            ASSERT_TRUE(db.ExecSql("delete from info; delete from rule"));
            AddScheme(mode.type);
            page = mode.page;
            context.process.timings.insertPauseMs = 300;
            state.StopRequested = 0;
            QTimer watcher;
            QObject::connect(&watcher, &QTimer::timeout, [&] {
                if (Rows("select count(*) from info").at(0).at(0) == std::to_string(stopAfter)) {
                    state.StopRequested = 1;
                    WakeWaits();
                }
            });
            watcher.start(5);
            RunWorker();
            watcher.stop();
            ASSERT_EQ(Rows("select count(*) from info"), (TextTable{{std::to_string(stopAfter)}}));
            FillSchemeList(window, cursor, db);  // as monitoring does once a stopped worker ends
            state.StopRequested = 0;
            context.process.timings.insertPauseMs = 1;
            RunWorker();
            EXPECT_EQ(Rows("select title from info order by title"),
                      (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
        }
    }
}

// Another program reading the file for a moment (a backup) delays the inserts
// instead of failing them.
TEST_F(ProcessSchemeTest, ReadLockOfAnotherConnectionOnlyDelaysTheInserts) {
    AddScheme(0);
    std::atomic<bool> locked = false;
    std::thread reader([&] {
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(file.path().c_str(), &other), SQLITE_OK);
        sqlite3_exec(other, "begin; select count(*) from info;", nullptr, nullptr, nullptr);
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        sqlite3_exec(other, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    });
    while (!locked) std::this_thread::yield();
    RunWorker();
    reader.join();
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 3"}}));
}

// An insert that fails ends the run with the marker behind the last article
// stored; the next run stores the rest.
TEST_F(ProcessSchemeTest, FailedInsertLeavesTheRestForTheNextRun) {
    AddScheme(0);
    ASSERT_TRUE(
        db.ExecSql("create trigger refuse before insert on info when new.title='Title 2' "
                   "begin select raise(abort, 'refused'); end"));
    RunWorker();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("执行出错！错误代码：19"));
    EXPECT_EQ(Rows("select title from info"), (TextTable{{"Title 1"}}));
    EXPECT_EQ(Rows("select arttile,lasttime from rule"), (TextTable{{"Title 1", ""}}));
    ASSERT_TRUE(db.ExecSql("drop trigger refuse"));
    FillSchemeList(window, cursor, db);
    RunWorker();
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 3"}}));
}

// A page listing its oldest article first: two cycles store each article once,
// and the article list shows the newest on top as in the other modes.
TEST_F(ProcessSchemeTest, OldestFirstTwoCyclesStoreEachArticleOnce) {
    AddScheme(2);
    page = test::BoardPage({1, 2, 3});
    RunWorker();
    FillSchemeList(window, cursor, db);
    page = test::BoardPage({1, 2, 3, 4, 5});
    RunWorker();
    EXPECT_EQ(Rows("select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}, {"Title 4"}, {"Title 5"}}));
    EXPECT_EQ(Rows("select arttile from rule"), (TextTable{{"Title 5"}}));
    FillArticleList(window, cursor, db);
    auto* articles = window.Control<QTableWidget>("文章列表框");
    ASSERT_EQ(articles->rowCount(), 5);
    EXPECT_EQ(CellText(articles, 0, 2), "Title 5");
    EXPECT_EQ(CellText(articles, 4, 2), "Title 1");
}

// The source box shows the first 256 KiB of a big region and says how much more
// there was.
TEST_F(ProcessSchemeTest, BigRegionIsShownCut) {
    page = "<ul>" + std::string(1 << 20, 'a') + "\xD6\xD0</ul>";
    SetUpEditor("(never)");
    SetEditor("采集前", "<ul>");
    SetEditor("采集后", "</ul>");
    OnTestScheme(context.process);
    const std::string shown =
        ToGbkLines(window.Control<QPlainTextEdit>("测试编辑框")->toPlainText());
    EXPECT_EQ(shown, std::string(256 * 1024, 'a') + "\r\n" + Gbk("……（以下 786434 字节未显示）"));
}

TEST_F(ProcessSchemeTest, ARowThatIsGoneReadsAsEmptyCells) {
    AddScheme(0);
    RunWorker(2);  // position 2 does not exist
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(Rows("select * from info").empty());
    EXPECT_EQ(state.WorkerBusy, 0);
}

TEST_F(ProcessSchemeTest, RuleTestShowsGroupsAndOpensTheSaveButton) {
    SetUpEditor("<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>");
    state.WorkerBusy = 1;  // a monitoring worker runs meanwhile
    OnTestScheme(context.process);
    auto* list = window.Control<QTableWidget>("测试列表框");
    ASSERT_EQ(list->columnCount(), 3) << "N columns for N groups: group 3 has none";
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "索引 0");
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "索引 2");
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(CellText(list, 0, 1), "3");
    EXPECT_EQ(CellText(list, 2, 2), "/t/1");
    EXPECT_TRUE(window.Control<QPushButton>("按钮_保存配置")->isEnabled());
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_EQ(state.WorkerBusy, 1) << "a test leaves the monitoring state alone";
}

TEST_F(ProcessSchemeTest, RuleTestWithoutMatchesShowsTheMessage) {
    SetUpEditor("(unclosed");
    OnTestScheme(context.process);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("匹配结果为0,请检查正则匹配规则!"));
    EXPECT_EQ(window.Control<QTableWidget>("测试列表框")->columnCount(), 0);
    EXPECT_FALSE(window.Control<QPushButton>("按钮_保存配置")->isEnabled());
}

TEST_F(ProcessSchemeTest, BlockedSiteIsRefusedCaseSensitively) {
    SetUpEditor("(.)");
    SetEditor("编辑框_网址", std::string("http://") + kBlockedSiteToken + "/bbs");
    OnTestScheme(context.process);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("此站不允许监控!"));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ProcessSchemeTest, EmptyRegionIsReported) {
    SetUpEditor("(.)");
    SetEditor("采集前", "<nowhere>");
    OnTestScheme(context.process);
    EXPECT_NE(Status().find(Gbk("出错！截取源码为空，请检查方案的采集区域！")), std::string::npos);
    ASSERT_EQ(messages.boxes.size(), 1u);
}

// A rule test of a scheme with keywords and clean titles shows each title as it
// would be recorded, and greys and marks the matches the keywords would drop.
TEST_F(ProcessSchemeTest, RuleTestMarksDroppedMatchesAndShowsRecordedTitles) {
    page = Gbk(
        "<html><ul><li id=3><a href=\"/t/3\"><font color=red>置顶</font>相机  &amp; 镜头</a></li>"
        "<li id=2><a href=\"/t/2\">Title 2</a></li></ul></html>");
    SetUpEditor("<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>");
    SetEditor("tindex框", "3");
    window.Control<QPlainTextEdit>(kExcludeBox)->setPlainText("title");
    window.Control<QCheckBox>(kCleanTitlesBox)->setChecked(true);
    OnTestScheme(context.process);
    auto* list = window.Control<QTableWidget>("测试列表框");
    ASSERT_EQ(list->columnCount(), 4) << "the groups, then the recorded title";
    EXPECT_EQ(list->horizontalHeaderItem(3)->text(), QString::fromUtf8(kRecordedTitleHeader));
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(CellText(list, 0, 3), Gbk("置顶相机 & 镜头"));
    EXPECT_EQ(CellText(list, 1, 3), Gbk(kDroppedMark) + "Title 2");
    EXPECT_EQ(CellText(list, 1, 2), "/t/2") << "the groups stay as the page has them";
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    EXPECT_EQ(list->item(1, 0)->foreground().color(), grey);
    EXPECT_EQ(list->item(0, 0)->foreground().style(), Qt::NoBrush);
    EXPECT_TRUE(window.Control<QPushButton>("按钮_保存配置")->isEnabled());
    EXPECT_TRUE(messages.boxes.empty());
}

// Clean titles reach the article list as a person reads them, and 状态 says how
// many new articles the keywords dropped.
TEST_F(ProcessSchemeTest, CleanTitlesAreListedAsReadAndDroppedOnesCounted) {
    ASSERT_TRUE(EnsureSchemeFieldTable(db));
    AddScheme(0);
    ASSERT_TRUE(ExecBound(db, SchemeFieldsSaveStatement(1, {"", "old", true})));
    page =
        "<ul><li id=2><a href=\"/t/2\"><b>Title</b> &#50;  &lt;new&gt;</a></li>"
        "<li id=1><a href=\"/t/1\">Title 1 (old)</a></li></ul>";
    RunWorker();
    FillArticleList(window, cursor, db);
    auto* list = window.Control<QTableWidget>("文章列表框");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(CellText(list, 0, 2), "Title 2 <new>");
    EXPECT_NE(Status().find(Gbk("1 篇新文章，1 篇被关键词过滤")), std::string::npos) << Status();
}

}  // namespace
}  // namespace vela
