#include "gui/execute_and_report.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "gui/gbk_text.h"
#include "gui/main_window.h"
#include "gui/sql_console.h"
#include "gui/status_box.h"
#include "store/database.h"
#include "store/query_cursor.h"
#include "tests/support/message_recorder.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        statusBefore = StatusText(window);
    }
    // What the statement appended to 状态.
    std::string Appended() { return StatusText(window).substr(statusBefore.size()); }
    void RunConsole(const std::string& sql) {
        window.Control<QPlainTextEdit>("sql框")->setPlainText(FromGbkLines(sql));
        window.Control<QPushButton>("按钮_执行SQL")->click();
    }

    test::TestDatabaseFile file;
    Database db;
    MainWindow window;
    test::MessageRecorder messages;
    std::string statusBefore;
};

TEST_F(ReportTest, SuccessAppendsTheStatementTwice) {
    const std::string sql = "update info set issoucang=1 where id=5";
    std::string result = ExecuteAndReport(db, window, sql);
    EXPECT_EQ(result, Gbk("成功！SQL：") + sql);
    EXPECT_EQ(Appended(), "\r\n" + sql + Gbk("成功！SQL：") + sql);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ReportTest, FailureShowsTheCodeInABoxAndTheStatus) {
    const std::string sql = "update nowhere set a=1";
    std::string result = ExecuteAndReport(db, window, sql);
    EXPECT_EQ(result, Gbk("执行出错！错误代码：1"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, result);
    EXPECT_EQ(messages.boxes[0].caption, Gbk("信息："));
    EXPECT_EQ(Appended(), "\r\n" + sql + result);
}

TEST_F(ReportTest, ConsoleRunsEveryStatementAsTyped) {
    BindSqlConsole(db, window);
    // The first statement stays applied when the second fails; apostrophes and
    // GBK text pass unchanged.
    const std::string title = "\xD6\xD0'\xCE\xC4";
    RunConsole("insert into info(title) values('\xD6\xD0''\xCE\xC4');\r\nupdate nowhere set a=1");
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[0].text, Gbk("执行出错！错误代码：1"));
    EXPECT_EQ(messages.boxes[1].text, Gbk("执行出错！错误代码：1"));
    EXPECT_EQ(messages.boxes[1].caption, Gbk("SQL执行结果"));
    EXPECT_EQ(test::QueryRows(db, "select title from info"), (TextTable{{title}}));
}

TEST_F(ReportTest, EmptyStatementAndClosedConnectionReportCodeZero) {
    BindSqlConsole(db, window);
    ExecuteAndReport(db, window, "select 1");
    RunConsole("");
    db.CloseDatabase();
    RunConsole("select 1");
    ASSERT_EQ(messages.boxes.size(), 4u);
    for (const auto& box : messages.boxes) EXPECT_EQ(box.text, Gbk("执行出错！错误代码：0"));
}

}  // namespace
}  // namespace vela
