// The runner waiting for another program's lock on its database: SQLite's own lock
// (a database viewer's open transaction) or the run lock of vela.sdb.lock (the
// window or another runner checking a scheme). It says which it waits for, waits
// as long as a check may take, and a stop signal ends the wait and the program.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "store/database.h"
#include "store/run_lock.h"
#include "tests/support/board_page.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::ChildOutcome;
using test::ChildProcess;

const std::string kCli = VELA_CLI;
constexpr const char* kSqliteLockText = "another program holds SQLite's lock on it";
constexpr const char* kRunLockText = "waiting for the run lock ";

class LockWaitTest : public ::testing::Test {
protected:
    LockWaitTest()
        : server([](const std::string&) {
              return test::CannedReply{test::SimpleResponse("200 OK", test::BoardPage({3, 2, 1}))};
          }) {
        db.OpenDatabase(file.path(), false);
        ::setenv("XDG_CONFIG_HOME", (file.dir() + "/config").c_str(), 1);
        db.ExecSql(
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','board','" +
            server.Url("/board") +
            "','','TestAgent','','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">"
            "(.*?)</a>','<ul>','</ul>','3','1','1','1','0','0')");
    }

    // Starts `run --once`; its standard error goes to runner.err in the test folder.
    std::unique_ptr<ChildProcess> StartRun() {
        return std::make_unique<ChildProcess>(
            kCli, std::vector<std::string>{"run", "--once", "--db", file.path()}, file.dir(),
            "runner");
    }

    // Waits until the runner's standard error holds `text`.
    bool ErrorShows(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(file.dir() + "/runner.err");
            std::stringstream bytes;
            bytes << in.rdbuf();
            if (bytes.str().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    TextTable Stored() { return test::QueryRows(db, "select count(*) from info"); }

    test::TestDatabaseFile file;
    Database db;
    test::LoopbackHttpServer server;
};

// A database viewer with a read transaction open: the runner checks its page, and
// its commit waits for the viewer to let go.
TEST_F(LockWaitTest, ASqliteLockIsWaitedForLongerThanFiveSecondsAndNamed) {
    Database viewer;
    ASSERT_TRUE(viewer.OpenDatabase(file.path(), false));
    ASSERT_TRUE(viewer.ExecSql("begin; select count(*) from rule"));
    const auto started = std::chrono::steady_clock::now();
    auto runner = StartRun();
    ASSERT_TRUE(ErrorShows(kSqliteLockText));
    EXPECT_EQ(server.Requests().size(), 1u);
    // The viewer keeps the file past the five seconds a statement used to wait.
    std::this_thread::sleep_until(started + std::chrono::seconds(6));
    ASSERT_TRUE(viewer.ExecSql("rollback"));
    const ChildOutcome outcome = runner->Wait(std::chrono::seconds(60));
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(test::Lines(outcome.out).size(), 3u);
    EXPECT_EQ(Stored(), (TextTable{{"3"}}));
    EXPECT_EQ(
        test::Lines(outcome.err),
        std::vector<std::string>{"vela-cli: waiting for " + file.path() + ": " + kSqliteLockText +
                                 " (a database viewer, or another program writing it); "
                                 "waiting up to 120 s"});
}

// Ctrl+C or SIGTERM during either wait ends the program by that signal, as
// everywhere else, with nothing stored and no database error.
TEST_F(LockWaitTest, AStopDuringTheWaitEndsTheProgramByItsSignal) {
    struct Case {
        bool sqlite;  // SQLite's lock, or the run lock
        const char* shown;
        int signal;
    };
    for (const Case c : {Case{true, kSqliteLockText, SIGTERM}, Case{false, kRunLockText, SIGINT}}) {
        SCOPED_TRACE(c.shown);
        Database viewer;
        ASSERT_TRUE(viewer.OpenDatabase(file.path(), false));
        RunLock runLock(file.path());
        if (c.sqlite) {
            ASSERT_TRUE(viewer.ExecSql("begin exclusive"));
        } else {
            ASSERT_EQ(runLock.TryLock(), RunLockState::Held);
        }
        auto runner = StartRun();
        ASSERT_TRUE(ErrorShows(c.shown));
        runner->Signal(c.signal);
        const ChildOutcome outcome = runner->Wait(std::chrono::seconds(10));
        EXPECT_EQ(outcome.signal, c.signal) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(test::Lines(outcome.err).size(), 1u) << outcome.err;
        if (!c.sqlite) {
            EXPECT_NE(outcome.err.find(kRunLockText + RunLockPath(file.path()) +
                                       ": another program (the window, or another vela-cli) "
                                       "is checking a scheme of this database"),
                      std::string::npos)
                << outcome.err;
        }
        viewer.ExecSql("rollback");
        EXPECT_EQ(Stored(), (TextTable{{"0"}}));
    }
}

}  // namespace
}  // namespace vela
