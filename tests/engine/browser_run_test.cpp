#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/scheme_run.h"
#include "engine/stored_fields.h"
#include "fetch/encoding.h"
#include "store/bound_sql.h"
#include "store/database.h"
#include "store/scheme_fields.h"
#include "store/sql_clean.h"
#include "tests/support/browser_probe.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using namespace std::chrono_literals;

// A list the page builds with a timer after it has loaded; the page source holds
// an empty list.
constexpr const char* kScriptedList =
    "<html><head><meta charset=\"utf-8\"></head><body><ul id=\"list\"></ul><script>"
    "setTimeout(function () { var u = document.getElementById('list');"
    " for (var i = 1; i <= 5; i++) { var li = document.createElement('li');"
    " li.innerHTML = '<a href=\"/t/' + i + '\">标题 ' + i + '</a>'; u.appendChild(li); } }, 300);"
    "</script></body></html>";

// A static GBK page written as the browser writes a document back, so that one
// pattern fits the page source and the rendered document alike.
std::string GbkStaticList() {
    return Gbk(
        "<html><head></head><body><ul id=\"list\"><li><a href=\"/t/3\">乙 &amp; 丙 3</a>"
        "</li><li><a href=\"/t/2\">标题 2 ¥€</a></li><li><a href=\"/t/1\">"
        "甲 1</a></li></ul></body></html>");
}

class StatusReport : public RunReport {
public:
    bool Stopped() override { return false; }
    void Status(const std::string& line) override { lines.push_back(GbkToUtf8(line)); }
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int) override {}
    std::vector<std::string> lines;
};

class BrowserRunTest : public ::testing::Test {
protected:
    BrowserRunTest()
        : server_([this](const std::string&, const std::string& target) {
              test::TimedReply reply;
              if (target == "/never") {
                  reply.stall = true;
              } else if (target == "/stalled") {
                  reply.bytes = test::SimpleResponse(
                      "200 OK", "<html><body><script>fetch('/never');</script></body></html>",
                      "Content-Type: text/html\r\n");
              } else if (target == "/gbk") {
                  reply.bytes = test::SimpleResponse("200 OK", GbkStaticList(),
                                                     "Content-Type: text/html; charset=gbk\r\n");
              } else {
                  reply.bytes = test::SimpleResponse("200 OK", kScriptedList,
                                                     "Content-Type: text/html; charset=utf-8\r\n");
              }
              return reply;
          }) {
        db_.OpenDatabase(file_.path(), false);
        EnsureSchemeFieldTable(db_);
        timings_.insertPauseMs = 0;
        timings_.renderLimitMs = 3000;
    }

    // Adds a scheme for `path` of the server and returns it as a run reads it:
    // its row and its fields.
    Scheme AddScheme(const std::string& name, const std::string& path, bool gbk, FetchMode fetch) {
        db_.ExecSql(
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('" +
            std::string(gbk ? "1" : "0") + "','" + name + "','" + server_.Url("127.0.0.1", path) +
            "','','VelaTest','','http://bbs.example[1]','<li><a href=\"(.*?)\">(.*?)</a></li>',"
            "'<ul id=\"list\">','</ul>','2','1','1','1','0','0')");
        TextTable rows = test::QueryRows(db_, "select * from rule where name='" + name + "'");
        Scheme scheme = SchemeFromCells(rows.at(0));
        SchemeFields fields;
        fields.fetch = fetch;
        ExecBound(db_, SchemeFieldsSaveStatement(std::stoll(scheme.id), fields));
        EXPECT_TRUE(LoadSchemeFields(db_, scheme));
        return scheme;
    }

    TextTable Titles(const std::string& name) {
        return test::QueryRows(db_,
                               "select title from info where planname='" + name + "' order by id");
    }

    test::TestDatabaseFile file_;
    Database db_;
    MonitorTimings timings_;
    StatusReport report_;
    test::ConcurrentHttpServer server_;
};

TEST_F(BrowserRunTest, ScriptBuiltListIsRecordedOnlyWhenRendered) {
    VELA_REQUIRE_BROWSER();
    const Scheme fetched = AddScheme("fetched", "/list", false, FetchMode::kHttp);
    const SchemeRun plain = MonitorScheme(fetched, db_, timings_, report_);
    EXPECT_TRUE(plain.regionEmpty);
    EXPECT_EQ(plain.stored, 0);

    const Scheme rendered = AddScheme("rendered", "/list", false, FetchMode::kBrowser);
    const SchemeRun run = MonitorScheme(rendered, db_, timings_, report_);
    EXPECT_FALSE(run.regionEmpty);
    EXPECT_EQ(run.fetchFailure, FetchFailure::kNone) << run.fetchFailureText;
    EXPECT_EQ(run.stored, 5);
    EXPECT_EQ(
        Titles("rendered"),
        (TextTable{
            {Gbk("标题 5")}, {Gbk("标题 4")}, {Gbk("标题 3")}, {Gbk("标题 2")}, {Gbk("标题 1")}}));
}

TEST_F(BrowserRunTest, RequestThatNeverEndsFailsAtTheLimitAndTheNextSchemeRuns) {
    VELA_REQUIRE_BROWSER();
    const Scheme stalled = AddScheme("stalled", "/stalled", false, FetchMode::kBrowser);
    const Scheme next = AddScheme("next", "/gbk", true, FetchMode::kHttp);
    const SchemeRun run = MonitorScheme(stalled, db_, timings_, report_);
    EXPECT_TRUE(run.noAnswer);
    EXPECT_EQ(run.fetchFailure, FetchFailure::kTimeLimit);
    EXPECT_EQ(run.fetchFailureText, "render time limit (3 s)");
    ASSERT_FALSE(report_.lines.empty());
    EXPECT_EQ(report_.lines[0], "\r\n出错！浏览器渲染超过时限（3 秒）");
    EXPECT_EQ(MonitorScheme(next, db_, timings_, report_).stored, 3);
}

// One scheme works with either fetcher: the rendered document of a GBK page gives
// the same titles, byte for byte, as the page's own bytes.
TEST_F(BrowserRunTest, GbkPageGivesTheSameTitlesRenderedAsFetched) {
    VELA_REQUIRE_BROWSER();
    const Scheme fetched = AddScheme("fetched", "/gbk", true, FetchMode::kHttp);
    const Scheme rendered = AddScheme("rendered", "/gbk", true, FetchMode::kBrowser);
    EXPECT_EQ(MonitorScheme(fetched, db_, timings_, report_).stored, 3);
    const SchemeRun run = MonitorScheme(rendered, db_, timings_, report_);
    EXPECT_EQ(run.fetchFailure, FetchFailure::kNone) << run.fetchFailureText;
    EXPECT_EQ(run.stored, 3);
    EXPECT_EQ(Titles("rendered"), Titles("fetched"));
    std::string first = Gbk("甲 1");
    EXPECT_EQ(Titles("fetched").at(0).at(0), SqlClean(first));
}

TEST_F(BrowserRunTest, MissingBrowserFailsTheSchemeNamingThePackage) {
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    setenv("PATH", "/nonexistent", 1);
    const Scheme rendered = AddScheme("rendered", "/list", false, FetchMode::kBrowser);
    const SchemeRun run = MonitorScheme(rendered, db_, timings_, report_);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_TRUE(run.noAnswer);
    EXPECT_EQ(run.fetchFailure, FetchFailure::kBrowser);
    EXPECT_NE(run.fetchFailureText.find("install the package chromium"), std::string::npos);
    ASSERT_FALSE(report_.lines.empty());
    EXPECT_EQ(report_.lines[0], "\r\n出错！没有找到浏览器，请安装 chromium 软件包");
}

}  // namespace
}  // namespace vela
