#include <gtest/gtest.h>

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "gui/gbk_text.h"
#include "gui/list_cells.h"
#include "gui/list_commands.h"
#include "gui/list_fill.h"
#include "gui/main_window.h"
#include "gui/open_link.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

class ListsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.OpenDatabase(file.path(), false)); }
    QTableWidget* List(const char* name) { return window.Control<QTableWidget>(name); }
    void Exec(const std::string& sql) { ASSERT_TRUE(db.ExecSql(sql)) << sql; }
    void Select(const char* list, int row) { List(list)->selectRow(row); }
    // Closes `menu` once its modal loop runs.
    void CloseWhenShown(const char* menu) {
        QTimer::singleShot(0, [this, menu] { window.Menu(menu)->hide(); });
    }
    std::string Status() {
        return ToGbkLines(window.Control<QPlainTextEdit>("状态")->toPlainText());
    }

    test::TestDatabaseFile file;
    Database db;
    QueryCursor cursor;
    MainWindow window;
    test::MessageRecorder messages;
};

TEST_F(ListsTest, SchemeListRebuildsTwentyColumnsAndChecksDefaultRows) {
    EXPECT_EQ(List("项目列表框")->columnCount(), 12) << "design-time columns before a fill";
    Exec("insert into rule(isdo,name) values(1,'a')");
    Exec("insert into rule(isdo,name) values('0','b')");
    Exec("insert into rule(isdo,name) values('1','c')");
    Exec("insert into rule(isdo,name) values(NULL,'d')");
    auto* list = List("项目列表框");
    for (int fill = 0; fill < 3; ++fill) {
        FillSchemeList(window, cursor, db);
        ASSERT_EQ(list->columnCount(), 20);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "0id");
        EXPECT_EQ(list->horizontalHeaderItem(17)->text(), "17isdo");
        EXPECT_EQ(list->horizontalHeaderItem(19)->text(), "19type");
        EXPECT_EQ(list->columnWidth(5), 80);
        ASSERT_EQ(list->rowCount(), 4);
        EXPECT_TRUE(RowChecked(list, 0));
        EXPECT_FALSE(RowChecked(list, 1));
        EXPECT_TRUE(RowChecked(list, 2));
        EXPECT_FALSE(RowChecked(list, 3));
        SetRowChecked(list, 1, true);  // a hand-made check goes with the next fill
    }
    EXPECT_EQ(CellText(list, 2, 3), "c");
    EXPECT_EQ(CellText(list, 9, 3), "") << "a row that does not exist reads empty";
    EXPECT_EQ(CellText(list, 0, 25), "");
}

TEST_F(ListsTest, FailingQueryLeavesTheListsEmptyWithoutAMessage) {
    Exec("insert into info(title) values('x')");
    FillArticleList(window, cursor, db);
    ASSERT_EQ(List("文章列表框")->rowCount(), 1);
    Exec("drop table info");
    Exec("drop table rule");
    FillArticleList(window, cursor, db);
    FillSchemeList(window, cursor, db);
    EXPECT_EQ(List("文章列表框")->rowCount(), 0);
    EXPECT_EQ(List("项目列表框")->rowCount(), 0);
    EXPECT_EQ(List("项目列表框")->columnCount(), 0);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ListsTest, ArticleListShowsTheHundredNewestWithTheirBytes) {
    Exec("begin");
    for (int i = 1; i <= 150; ++i) {
        Exec(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values('p','3',"
            "'t" +
            std::to_string(i) + "','u','o','2016-9-9 8:5 7',0)");
    }
    Exec("commit");
    // A title whose bytes have no Unicode form still reads back exactly.
    Exec("insert into info(title,other) values('\xD6\xD0\xFF''x',NULL)");
    FillArticleList(window, cursor, db);
    auto* list = List("文章列表框");
    ASSERT_EQ(list->rowCount(), 100);
    EXPECT_EQ(list->columnCount(), 7);
    EXPECT_EQ(CellText(list, 0, 0), "151");
    EXPECT_EQ(CellText(list, 0, 2), "\xD6\xD0\xFF'x");
    EXPECT_EQ(CellText(list, 0, 6), "");
    EXPECT_EQ(CellText(list, 99, 0), "52");
    const std::vector<std::string> row{"150", "p", "t150", "u", "2016-9-9 8:5 7", "0", "o"};
    for (int c = 0; c < 7; ++c) EXPECT_EQ(CellText(list, 1, c), row[c]) << c;
}

TEST_F(ListsTest, FavouriteRoundTripKeepsTheArticleListsHiddenState) {
    Exec("insert into info(planname,title,url,issoucang) values('p','a','u',0)");
    Exec("insert into info(planname,title,url,issoucang) values('p','b','u',0)");
    BindListCommands(window, cursor, db);
    FillArticleList(window, cursor, db);
    FillFavouriteList(window, cursor, db);
    Select("文章列表框", 1);
    window.MenuItem("文章", "收藏文章")->setEnabled(true);
    window.MenuItem("文章", "收藏文章")->trigger();
    auto* favourites = List("收藏列表框");
    ASSERT_EQ(favourites->rowCount(), 1);
    EXPECT_EQ(favourites->columnCount(), 6);
    EXPECT_EQ(CellText(favourites, 0, 0), "1");
    EXPECT_EQ(CellText(favourites, 0, 5), "1");
    EXPECT_EQ(CellText(List("文章列表框"), 1, 5), "0") << "the article list is not refilled";
    Select("收藏列表框", 0);
    window.MenuItem("收藏", "删除收藏")->trigger();
    EXPECT_EQ(favourites->rowCount(), 0);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ListsTest, MarkDefaultCheckedChecksAtOnceWithoutRefilling) {
    Exec("insert into rule(isdo,name) values('0','a')");
    FillSchemeList(window, cursor, db);
    auto* list = List("项目列表框");
    Select("项目列表框", 0);
    OnMarkDefaultChecked(window, db);
    EXPECT_TRUE(RowChecked(list, 0));
    EXPECT_EQ(CellText(list, 0, 17), "0");
    FillSchemeList(window, cursor, db);
    EXPECT_EQ(CellText(list, 0, 17), "1");
    EXPECT_TRUE(RowChecked(list, 0));
}

TEST_F(ListsTest, MenusFollowTheSelection) {
    Exec("insert into rule(isdo,name) values('1','a')");
    Exec("insert into rule(isdo,name) values('0','b')");
    Exec("insert into info(title) values('a')");
    FillSchemeList(window, cursor, db);
    FillArticleList(window, cursor, db);
    struct Expect {
        int row;
        bool edit, markDefault;
    };
    for (Expect e : {Expect{-1, false, false}, Expect{0, true, false}, Expect{1, true, true}}) {
        SCOPED_TRACE(e.row);
        List("项目列表框")->clearSelection();
        if (e.row >= 0) Select("项目列表框", e.row);
        CloseWhenShown("方案");
        OnSchemeListRightClick(window);
        EXPECT_TRUE(window.MenuItem("方案", "新建监控方案")->isEnabled());
        EXPECT_EQ(window.MenuItem("方案", "编辑")->isEnabled(), e.edit);
        EXPECT_EQ(window.MenuItem("方案", "复制")->isEnabled(), e.edit);
        EXPECT_EQ(window.MenuItem("方案", "默认勾选")->isEnabled(), e.markDefault);
    }
    CloseWhenShown("文章");
    OnArticleListRightClick(window);
    EXPECT_FALSE(window.MenuItem("文章", "收藏文章")->isEnabled());
    EXPECT_TRUE(window.MenuItem("文章", "清空列表")->isEnabled());
    CloseWhenShown("收藏");
    OnFavouriteListRightClick(window);
    EXPECT_FALSE(window.MenuItem("收藏", "删除收藏")->isEnabled());
}

// The monitoring loop refills the lists after one of its waits; a menu opened in
// that wait holds the loop until the command has run on the row it was opened for.
TEST_F(ListsTest, RefillAfterAWaitDoesNotMoveWhatAMenuCommandActsOn) {
    Exec("insert into info(title,issoucang) values('a',0)");
    Exec("insert into info(title,issoucang) values('b',0)");
    BindListCommands(window, cursor, db);
    FillArticleList(window, cursor, db);
    Select("文章列表框", 1);
    QTimer::singleShot(0, [this] { OnArticleListRightClick(window); });
    QTimer::singleShot(100, [this] {
        window.MenuItem("文章", "收藏文章")->trigger();
        window.Menu("文章")->hide();
    });
    QEventLoop wait;  // the loop's wait, shorter than the user's choice
    QTimer::singleShot(20, &wait, &QEventLoop::quit);
    wait.exec();
    FillArticleList(window, cursor, db);
    EXPECT_EQ(test::QueryRows(db, "select id from info where issoucang='1'"), (TextTable{{"1"}}));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ListsTest, ClickShowsDetailsAlsoBelowTheLastRow) {
    Exec(
        "insert into info(planname,title,url,other,addtime,issoucang) "
        "values('p','t','http://x/1','o','2016-9-9 8:5 7',0)");
    BindListCommands(window, cursor, db);
    FillArticleList(window, cursor, db);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* list = List("文章列表框");
    window.Control<QTabWidget>("选择夹")->setCurrentIndex(1);
    QRect cell = list->visualRect(list->model()->index(0, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Status(), Gbk("文章ID：1；所属站点：p；文章标题：t；链接：http://x/1；"
                            "更新时间：2016-9-9 8:5 7；状态：0；备注：o"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 300));
    EXPECT_EQ(SelectedRow(list), -1);
    EXPECT_EQ(Status(),
              Gbk("文章ID：；所属站点：；文章标题：；链接：；更新时间：；状态：；备注："));
    // A fill does not touch 状态.
    FillArticleList(window, cursor, db);
    EXPECT_EQ(Status(),
              Gbk("文章ID：；所属站点：；文章标题：；链接：；更新时间：；状态：；备注："));
}

TEST_F(ListsTest, DoubleClickOpensOnlyWebLinks) {
    std::vector<QUrl> opened;
    UrlOpener previous = SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    Exec("insert into info(url) values('file:///etc/passwd')");
    Exec("insert into info(url) values('www.example.com/a')");
    Exec("insert into info(url) values('HTTPS://example.com/b')");
    FillArticleList(window, cursor, db);
    OnArticleDoubleClick(window);  // nothing selected
    for (int row = 0; row < 3; ++row) {
        Select("文章列表框", row);
        OnArticleDoubleClick(window);
    }
    SetUrlOpener(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].toString(), "https://example.com/b");
    EXPECT_EQ(opened[1].toString(), "http://www.example.com/a");
}

TEST(SafeLinkUrl, RefusesWhatIsNotAWebAddress) {
    for (const char* bad : {"", "file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm",
                            "smb://host/share", "http://", "mailto:a@b"}) {
        EXPECT_FALSE(SafeLinkUrl(bad).has_value()) << bad;
    }
    for (const char* good : {"http://a.b/c?d=e", "hTTp://a.b", "https://a.b", "WWW.a.b"}) {
        EXPECT_TRUE(SafeLinkUrl(good).has_value()) << good;
    }
}

}  // namespace
}  // namespace vela
