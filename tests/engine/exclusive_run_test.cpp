// The runs under the database's run lock read a scheme's fields with its row; a
// scheme whose fields cannot be read records nothing.

#include "engine/exclusive_run.h"

#include <gtest/gtest.h>

#include "fetch/encoding.h"
#include "store/database.h"
#include "tests/support/board_page.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

class StatusReport : public test::SilentReport {
public:
    void Status(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Without its keywords a run would store what the user filtered out: both the
// window's run and the runner's recording say so and store nothing.
TEST(ExclusiveRunTest, UnreadableFieldsRecordNothing) {
    test::LoopbackHttpServer server([](const std::string&) {
        return test::CannedReply{test::SimpleResponse("200 OK", test::BoardPage({2, 1}))};
    });
    test::TestDatabaseFile file(test::TestDatabaseFile::kWithoutSchemeFields);
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    ASSERT_TRUE(db.ExecSql(
        "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
        "uindex,oindex,isdo,lastid,type) values('1','board','" +
        server.Url("/board") +
        "','','TestAgent','','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>',"
        "'<ul>','</ul>','3','1','1','1','0','0')"));
    // A table of that name that is not the program's own: its columns are missing.
    ASSERT_TRUE(db.ExecSql("create table rule_field (id INTEGER PRIMARY KEY)"));
    const Scheme scheme = SchemeFromCells(test::QueryRows(db, "select * from rule").at(0));
    MonitorTimings timings;
    const std::vector<std::string> said = {"\r\n" + Gbk(kFieldsUnreadStatusText)};

    StatusReport window;
    const SchemeRun run = MonitorSchemeExclusively(scheme, db, timings, window);
    EXPECT_EQ(run.keywordProblem, kFieldsUnreadText);
    EXPECT_EQ(window.lines, said);
    EXPECT_TRUE(server.Requests().empty());

    test::SilentReport check;
    SchemeRun checked = CheckScheme(scheme, timings, check);
    StatusReport runner;
    ASSERT_EQ(checked.matches.size(), 2u);
    RecordExclusively({{&scheme, &checked}}, db, runner);
    EXPECT_EQ(checked.keywordProblem, kFieldsUnreadText);
    EXPECT_EQ(runner.lines, said);
    EXPECT_EQ(checked.stored, 0);
    EXPECT_EQ(test::QueryRows(db, "select count(*) from info"), (TextTable{{"0"}}));
    EXPECT_EQ(test::QueryRows(db, "select arttile from rule"), (TextTable{{""}}));
}

}  // namespace
}  // namespace vela
