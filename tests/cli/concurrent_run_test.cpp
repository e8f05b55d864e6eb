// The runner checking many schemes at once: what it stores, how it spreads its
// requests, and how it behaves when servers stall, when it is stopped or killed,
// and when other programs work on the same file.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/exclusive_run.h"
#include "store/database.h"
#include "tests/support/board_page.h"
#include "tests/support/child_process.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using test::BoardPage;
using test::ChildOutcome;
using test::ChildProcess;
using test::ConcurrentHttpServer;
using test::TimedReply;

const std::string kCli = VELA_CLI;

// The board page of scheme n: `count` entries numbered from n * 1000 + 1, newest
// first, or oldest first for the schemes in OldestFirst (n % 3 == 2).
std::string SchemePage(int n, int count) {
    std::string page = "<html><ul>\r\n";
    for (int k = 0; k < count; ++k) {
        const int i = n % 3 == 2 ? k + 1 : count - k;
        const std::string id = std::to_string(n * 1000 + i);
        page += "<li id=" + id + "><a href=\"/t/" + id + "\">Title " + id + "</a></li>\r\n";
    }
    return page + "</ul></html>";
}

class ConcurrentRunTest : public ::testing::Test {
protected:
    ConcurrentRunTest()
        : server([this](const std::string&, const std::string& target) {
              const int n = std::stoi(target.substr(3));  // "/s/N"
              TimedReply reply;
              // Held until `gathered` requests have come (or the time is up).
              if (gathered > 0) {
                  server.WaitForRequests(static_cast<std::size_t>(gathered.load()),
                                         std::chrono::duration_cast<std::chrono::milliseconds>(
                                             gatherDeadline - std::chrono::steady_clock::now()));
              }
              if (n <= stalled) {
                  reply.stall = true;
                  return reply;
              }
              reply.delay = std::chrono::milliseconds(n % 4 * 40);
              const std::string body = SchemePage(n, entries);
              reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body;
              return reply;
          }) {}

    // `count` ticked schemes, spread over `hosts` host names; the three
    // judgement modes in turn.
    void AddSchemes(const std::string& path, int count, int hosts) {
        Database db;
        ASSERT_TRUE(db.OpenDatabase(path, false));
        std::string sql = "begin;";
        for (int n = 1; n <= count; ++n) {
            const int type = n % 3 == 0 ? 8 : (n % 3 == 1 ? 0 : 2);
            const std::string url = server.Url("board" + std::to_string(n % hosts) + ".localhost",
                                               "/s/" + std::to_string(n));
            sql +=
                "insert into rule(code,name,url,ua,arttile,buquan,regular,before,after,tindex,"
                "uindex,oindex,isdo,lastid,type) values('1','s" +
                std::to_string(n) + "','" + url +
                "','UA','','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">(.*?)</a>',"
                "'<ul>','</ul>','3','1','1','1','0','" +
                std::to_string(type) + "');";
        }
        ASSERT_TRUE(db.ExecSql(sql + "commit;"));
    }

    static TextTable Rows(const std::string& path, const std::string& sql) {
        Database db;
        db.OpenDatabase(path, false);
        return test::QueryRows(db, sql);
    }
    // Every stored article, whatever order it was stored in.
    static TextTable Articles(const std::string& path) {
        return Rows(path,
                    "select planname,planid,title,url,other,issoucang from info "
                    "order by planid+0,title");
    }
    static TextTable Markers(const std::string& path) {
        return Rows(path, "select id,arttile,arturl,lastid from rule order by id");
    }
    static void ExpectEachArticleOnce(const std::string& path) {
        EXPECT_EQ(Rows(path,
                       "select count(*) from (select planid,url from info group by planid,url "
                       "having count(*)>1)"),
                  (TextTable{{"0"}}));
        EXPECT_EQ(Rows(path, "pragma integrity_check"), (TextTable{{"ok"}}));
    }

    ChildOutcome Run(const std::string& path, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"run", "--once", "--db", path};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::RunChild(kCli, args, a.dir());
    }

    std::atomic<int> entries{4};
    std::atomic<int> stalled{0};  // schemes 1 … stalled never answer
    std::atomic<int> gathered{0};
    std::chrono::steady_clock::time_point gatherDeadline;
    test::TestDatabaseFile a, b;
    ConcurrentHttpServer server;
};

TEST_F(ConcurrentRunTest, StoresWhatTheOneByOneRunStoresAndSparesEachHost) {
    AddSchemes(a.path(), 50, 5);
    AddSchemes(b.path(), 50, 5);
    for (const int count : {4, 7}) {
        entries = count;
        ChildOutcome one = Run(a.path(), {"--jobs", "1"});
        ASSERT_EQ(one.exitCode, 0) << one.err;
        ChildOutcome many = Run(b.path());
        ASSERT_EQ(many.exitCode, 0) << many.err;
        EXPECT_EQ(Articles(b.path()), Articles(a.path()));
        EXPECT_EQ(Markers(b.path()), Markers(a.path()));
        EXPECT_EQ(Rows(b.path(), "select count(*) from info"),
                  (TextTable{{std::to_string(50 * count)}}));
        auto sorted = [](std::string out) {
            std::vector<std::string> lines = test::Lines(out);
            std::sort(lines.begin(), lines.end());
            return lines;
        };
        EXPECT_EQ(sorted(many.out), sorted(one.out)) << "every stored article printed once";
    }
    for (int host = 0; host < 5; ++host) {
        EXPECT_LE(server.MostInFlight("board" + std::to_string(host) + ".localhost"), 2);
    }
    EXPECT_GT(server.MostInFlight(), 2) << "the checks ran at once";
}

// Without options, a cycle over 200 schemes on their own host names sends all
// its requests at once: the cycle takes one round trip, not thirteen.
TEST_F(ConcurrentRunTest, AtTheDefaultsTwoHundredHostsAreAskedAtOnce) {
    AddSchemes(a.path(), 200, 200);
    gatherDeadline = std::chrono::steady_clock::now() + 20s;
    gathered = 200;
    const ChildOutcome outcome = Run(a.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(server.MostInFlight(), 200);
    EXPECT_EQ(Rows(a.path(), "select count(*) from info"), (TextTable{{"800"}}));
}

TEST_F(ConcurrentRunTest, AStalledServerDelaysNoOtherScheme) {
    stalled = 1;
    AddSchemes(a.path(), 21, 21);
    ChildProcess runner(kCli, {"run", "--once", "--db", a.path()}, a.dir());
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Rows(a.path(), "select count(*) from info") != TextTable{{"80"}} &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(Rows(a.path(), "select count(*) from info"), (TextTable{{"80"}}));
    runner.Signal(SIGTERM);
    EXPECT_EQ(runner.Wait(5s).signal, SIGTERM);
}

// The stalled transfers would hold a run for the 60 s a transfer may go without a
// byte: ending well inside that shows the stop cut them short, whatever the load
// of the machine.
TEST_F(ConcurrentRunTest, SigtermWithSixteenTransfersInFlightEndsWithoutWaitingForThem) {
    stalled = 16;
    AddSchemes(a.path(), 20, 20);
    const TextTable rule = Rows(a.path(), "select * from rule");
    // Sixteen jobs, all held by the stalled servers: no other scheme gets checked.
    ChildProcess runner(kCli, {"run", "--every", "10", "--jobs", "16", "--db", a.path()}, a.dir());
    ASSERT_TRUE(server.WaitForRequests(16, 30s));
    const auto signalled = std::chrono::steady_clock::now();
    runner.Signal(SIGTERM);
    const ChildOutcome outcome = runner.Wait(50s);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 20s);
    EXPECT_EQ(outcome.signal, SIGTERM);
    EXPECT_EQ(Rows(a.path(), "select count(*) from info"), (TextTable{{"0"}}));
    EXPECT_EQ(Rows(a.path(), "select * from rule"), rule);
    EXPECT_EQ(Rows(a.path(), "pragma integrity_check"), (TextTable{{"ok"}}));
}

// A kill at any moment of a first cycle: the next run stores the rest, each
// article once.
TEST_F(ConcurrentRunTest, KilledInTheFirstCycleThenRunAgainStoresEachArticleOnce) {
    entries = 42;
    AddSchemes(a.path(), 60, 12);
    ChildProcess runner(kCli, {"run", "--once", "--db", a.path()}, a.dir(), "killed");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Rows(a.path(), "select count(*) from info") == TextTable{{"0"}} &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    runner.Signal(SIGKILL);
    runner.Wait(5s);
    const TextTable partly = Rows(a.path(), "select count(*) from info");
    ChildOutcome again = Run(a.path());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Rows(a.path(), "select count(*) from info"), (TextTable{{std::to_string(60 * 42)}}))
        << "after the kill: " << partly.at(0).at(0);
    ExpectEachArticleOnce(a.path());
}

// Two runners and the window's worker on one file, all at once.
TEST_F(ConcurrentRunTest, TwoRunnersAndTheWindowStoreEachArticleOnce) {
    entries = 6;
    AddSchemes(a.path(), 30, 6);
    ChildProcess first(kCli, {"run", "--once", "--db", a.path()}, a.dir(), "first");
    ChildProcess second(kCli, {"run", "--once", "--db", a.path(), "--jobs", "4"}, a.dir(),
                        "second");
    Database window;
    ASSERT_TRUE(window.OpenDatabase(a.path(), false));
    const TextTable schemes = test::QueryRows(window, "select * from rule order by id");
    test::SilentReport report;
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    for (const auto& row : schemes) {
        MonitorSchemeExclusively(SchemeFromCells(row), window, timings, report);
    }
    EXPECT_EQ(first.Wait().exitCode, 0);
    EXPECT_EQ(second.Wait().exitCode, 0);
    EXPECT_EQ(Rows(a.path(), "select count(*) from info"), (TextTable{{std::to_string(30 * 6)}}));
    ExpectEachArticleOnce(a.path());
}

}  // namespace
}  // namespace vela
