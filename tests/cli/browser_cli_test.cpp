// The runner with schemes whose page is rendered by the browser: a stop in the
// middle of a render, a render that never ends, and no browser at all, each next
// to a scheme fetched as always.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "fetch/process_group.h"
#include "store/bound_sql.h"
#include "store/database.h"
#include "store/scheme_fields.h"
#include "tests/support/browser_probe.h"
#include "tests/support/child_process.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using test::ChildOutcome;
using test::ChildProcess;

const std::string kCli = VELA_CLI;

// The same list, built by a timer after the page has loaded.
constexpr const char* kScriptedList =
    "<html><body><ul id=\"list\"></ul><script>setTimeout(function () {"
    " document.getElementById('list').innerHTML = '<li><a href=\"/t/2\">Two</a></li>"
    "<li><a href=\"/t/1\">One</a></li>'; }, 300);</script></body></html>";

// A board of eight threads, every one built by a script after the page loaded.
constexpr const char* kScriptedBoard =
    "<html><body><h1>Board</h1><ul id=\"threads\"></ul><p>end</p><script>setTimeout(function () {"
    " var html = ''; for (var i = 1; i <= 8; i++) { html += '<li><a href=\"/thread/' + i +"
    " '\">Thread ' + i + ' about the lens I bought</a></li>'; }"
    " document.getElementById('threads').innerHTML = html; }, 300);</script></body></html>";

constexpr const char* kList =
    "<html><body><ul id=\"list\"><li><a href=\"/t/2\">Two</a></li><li><a href=\"/t/1\">One</a>"
    "</li></ul></body></html>";

// Sets an environment variable for the runners a test starts, and puts it back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

class BrowserCliTest : public ::testing::Test {
protected:
    BrowserCliTest()
        : server_([](const std::string&, const std::string& target) {
              test::TimedReply reply;
              if (target == "/never") {
                  reply.stall = true;  // the page itself, or a request of its script
              } else if (target == "/stalled") {
                  reply.bytes = test::SimpleResponse(
                      "200 OK", "<html><body><script>fetch('/never');</script></body></html>",
                      "Content-Type: text/html\r\n");
              } else if (target == "/board") {
                  reply.bytes =
                      test::SimpleResponse("200 OK", kScriptedBoard, "Content-Type: text/html\r\n");
              } else if (target == "/scripted") {
                  reply.bytes =
                      test::SimpleResponse("200 OK", kScriptedList, "Content-Type: text/html\r\n");
              } else {
                  reply.bytes =
                      test::SimpleResponse("200 OK", kList, "Content-Type: text/html\r\n");
              }
              return reply;
          }) {
        db_.OpenDatabase(file_.path(), false);
        EnsureSchemeFieldTable(db_);
    }

    // A ticked scheme for `path` of the server.
    void AddScheme(int id, const std::string& path, FetchMode fetch) {
        db_.ExecSql(
            "insert into rule(id,code,name,url,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values(" +
            std::to_string(id) + ",'0','s" + std::to_string(id) + "','" +
            server_.Url("127.0.0.1", path) +
            "','VelaTest','','http://bbs.example[1]','<li><a href=\"(.*?)\">(.*?)</a></li>',"
            "'<ul id=\"list\">','</ul>','2','1','1','1','0','0')");
        SchemeFields fields;
        fields.fetch = fetch;
        ExecBound(db_, SchemeFieldsSaveStatement(id, fields));
    }

    TextTable Rows(const std::string& sql) { return test::QueryRows(db_, sql); }

    // A scheme file of one scheme for `path` of the server, with `extra` keys.
    std::string SchemeFile(const std::string& path, const std::string& extra) {
        return "[[scheme]]\nname = 'b'\nurl = '" + server_.Url("127.0.0.1", path) +
               "'\nencoding = 'utf-8'\nbefore = '<ul id=\"list\">'\nafter = '</ul>'\n"
               "pattern = '<li><a href=\"(.*?)\">(.*?)</a></li>'\nlink = 'http://bbs.example[1]'\n"
               "title_group = 2\n" +
               extra + "\n";
    }

    test::TestDatabaseFile file_;
    Database db_;
    test::ConcurrentHttpServer server_;
};

TEST_F(BrowserCliTest, SigtermInTheMiddleOfARenderEndsAtOnceAndLeavesNoBrowser) {
    VELA_REQUIRE_BROWSER();
    AddScheme(1, "/never", FetchMode::kBrowser);
    const TextTable rule = Rows("select * from rule");
    // The render's profile is made under TMPDIR: a process that names it is one of
    // this runner's browser.
    const ScopedEnv tmp("TMPDIR", file_.dir());
    ChildProcess runner(kCli, {"run", "--once", "--db", file_.path()}, file_.dir());
    // The browser has asked for the page: the render is under way.
    ASSERT_TRUE(server_.WaitForRequests(1, 30s));
    ASSERT_GT(LiveProcessesWith(file_.dir() + "/vela-render-"), 0);
    const auto signalled = std::chrono::steady_clock::now();
    runner.Signal(SIGTERM);
    const ChildOutcome outcome = runner.Wait(10s);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    EXPECT_EQ(outcome.signal, SIGTERM) << outcome.err;
    EXPECT_EQ(LiveProcessesWith(file_.dir() + "/vela-render-"), 0);
    EXPECT_EQ(Rows("select count(*) from info"), (TextTable{{"0"}}));
    EXPECT_EQ(Rows("select * from rule"), rule);
}

TEST_F(BrowserCliTest, RenderThatNeverEndsFailsAtItsLimitAndTheOtherSchemeIsRecorded) {
    VELA_REQUIRE_BROWSER();
    AddScheme(1, "/stalled", FetchMode::kBrowser);
    AddScheme(2, "/list", FetchMode::kHttp);
    ChildProcess runner(kCli, {"run", "--once", "--render-limit", "2", "--db", file_.path()},
                        file_.dir());
    const ChildOutcome outcome = runner.Wait(60s);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("[s1] no answer from " + server_.Url("127.0.0.1", "/stalled") +
                               ": render time limit (2 s)"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(Rows("select planname, title from info order by id"),
              (TextTable{{"s2", "One"}, {"s2", "Two"}}));
}

TEST_F(BrowserCliTest, MissingBrowserFailsItsSchemeNamingThePackageAndTheOthersRun) {
    AddScheme(1, "/list", FetchMode::kBrowser);
    AddScheme(2, "/list", FetchMode::kHttp);
    const ScopedEnv path("PATH", "/nonexistent");
    ChildProcess runner(kCli, {"run", "--once", "--db", file_.path()}, file_.dir());
    const ChildOutcome outcome = runner.Wait(60s);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("[s1] no answer from " + server_.Url("127.0.0.1", "/list") +
                               ": the browser is not installed: install the package chromium "
                               "(sudo apt-get install chromium)"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(Rows("select planname, title from info order by id"),
              (TextTable{{"s2", "One"}, {"s2", "Two"}}));
}

// The key of a scheme file reaches the database, `list --json` and `export`, and
// `test --file` renders the page of a scheme that has it.
TEST_F(BrowserCliTest, FetchKeyOfASchemeFileIsKeptShownWrittenAndTested) {
    const std::string path = test::WriteFile(
        file_.dir(), "s.toml",
        SchemeFile("/scripted", "fetch = 'browser'\n") + SchemeFile("/list", "fetch = 'http'\n"));
    const ChildOutcome import =
        test::RunChild(kCli, {"import", "--db", file_.path(), path}, file_.dir());
    ASSERT_EQ(import.exitCode, 0) << import.err;
    const ChildOutcome list =
        test::RunChild(kCli, {"list", "--json", "--db", file_.path()}, file_.dir());
    EXPECT_NE(list.out.find(R"("fetch":"browser"})"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(R"("fetch":"http"})"), std::string::npos) << list.out;
    const ChildOutcome exported =
        test::RunChild(kCli, {"export", "--db", file_.path()}, file_.dir());
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    // Written only where it is not the default.
    EXPECT_EQ(exported.out.find("fetch = "), exported.out.rfind("fetch = "));
    EXPECT_NE(exported.out.find("fetch = 'browser'\n"), std::string::npos) << exported.out;

    VELA_REQUIRE_BROWSER();
    const ChildOutcome tested = test::RunChild(kCli, {"test", "--file", path}, file_.dir());
    EXPECT_EQ(tested.exitCode, 0) << tested.err;
    EXPECT_NE(tested.out.find("  [2] Two\n"), std::string::npos) << tested.out;
}

// A list that a script builds is found once the page is rendered, and the
// proposed schemes render it too.
TEST_F(BrowserCliTest, ProposeRendersAListBuiltByScript) {
    const std::string url = server_.Url("127.0.0.1", "/board");
    const ChildOutcome plain = test::RunChild(kCli, {"propose", url}, file_.dir());
    EXPECT_EQ(plain.exitCode, 1) << plain.out << plain.err;

    VELA_REQUIRE_BROWSER();
    const ChildOutcome rendered =
        test::RunChild(kCli, {"propose", "--browser", "--json", url}, file_.dir());
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    EXPECT_NE(rendered.out.find("Thread 8 about the lens I bought"), std::string::npos)
        << rendered.out;
    EXPECT_NE(rendered.out.find("fetch = 'browser'"), std::string::npos) << rendered.out;
}

}  // namespace
}  // namespace vela
