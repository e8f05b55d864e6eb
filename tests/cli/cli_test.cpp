// The headless runner as its users start it: the built program, the loopback
// server and database files on disk.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "engine/exclusive_run.h"
#include "fetch/encoding.h"
#include "store/database.h"
#include "store/run_lock.h"
#include "tests/support/board_page.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::BoardPage;
using test::CannedReply;
using test::ChildOutcome;
using test::ChildProcess;
using test::Lines;
using test::LoopbackHttpServer;
using test::SilentReport;
using test::SimpleResponse;

const std::string kCli = VELA_CLI;

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A database file with board schemes for the loopback server's pages.
class CliTest : public ::testing::Test {
protected:
    CliTest()
        : server([this](const std::string& request) {
              if (delayReplies) std::this_thread::sleep_for(std::chrono::milliseconds(300));
              return CannedReply{SimpleResponse("200 OK", PageFor(test::RequestTarget(request)))};
          }) {
        db.OpenDatabase(file.path(), false);
        // The runner reads the user's notification channels: none of theirs here.
        ::setenv("XDG_CONFIG_HOME", (file.dir() + "/config").c_str(), 1);
    }

    std::string PageFor(const std::string& target) {
        std::lock_guard lock(pageMutex);
        return target == "/other" ? otherPage : page;
    }
    void SetPage(const std::string& bytes, bool other = false) {
        std::lock_guard lock(pageMutex);
        (other ? otherPage : page) = bytes;
    }

    // A ticked board scheme (GBK name) for `path` of the server.
    void AddScheme(Database& into, const std::string& name, const std::string& path,
                   const std::string& before = "<ul>", const std::string& isdo = "1") {
        into.ExecSql(
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','" +
            name + "','" + server.Url(path) +
            "','','TestAgent','','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">"
            "(.*?)</a>','" +
            before + "','</ul>','3','1','1','" + isdo + "','0','0')");
    }

    ChildOutcome Cli(std::vector<std::string> args) {
        return test::RunChild(kCli, args, file.dir());
    }
    ChildOutcome RunOnce(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"run", "--once", "--db", file.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }

    TextTable Rows(Database& from, const std::string& sql) { return test::QueryRows(from, sql); }

    static constexpr const char* kArticles =
        "select planname,planid,title,url,other,issoucang from info order by id";
    static constexpr const char* kMarkers = "select id,arttile,arturl,lastid from rule order by id";

    test::TestDatabaseFile file;
    Database db;
    std::mutex pageMutex;
    std::string page = BoardPage({3, 2, 1});
    std::string otherPage = BoardPage({7});
    std::atomic<bool> delayReplies{false};
    LoopbackHttpServer server;
};

TEST_F(CliTest, StoresWhatIsNewAsTheWindowDoes) {
    AddScheme(db, "board", "/board");
    // The same scheme in a second file, run through the window's path.
    test::TestDatabaseFile windowFile;
    Database windowDb;
    ASSERT_TRUE(windowDb.OpenDatabase(windowFile.path(), false));
    AddScheme(windowDb, "board", "/board");
    auto windowRun = [&] {
        SilentReport report;
        MonitorTimings timings;
        timings.insertPauseMs = 0;
        Scheme scheme = SchemeFromCells(Rows(windowDb, "select * from rule").at(0));
        MonitorSchemeExclusively(scheme, windowDb, timings, report);
    };

    struct Step {
        std::string page;
        std::vector<std::string> printed;
    };
    const Step steps[] = {
        {BoardPage({3, 2, 1}),
         {"board\tTitle 1\thttp://bbs.example/t/1", "board\tTitle 2\thttp://bbs.example/t/2",
          "board\tTitle 3\thttp://bbs.example/t/3"}},
        {BoardPage({3, 2, 1}), {}},
        {BoardPage({5, 4, 3, 2, 1}),
         {"board\tTitle 4\thttp://bbs.example/t/4", "board\tTitle 5\thttp://bbs.example/t/5"}},
    };
    for (const Step& step : steps) {
        SetPage(step.page);
        ChildOutcome run = RunOnce();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Lines(run.out), step.printed);
        EXPECT_EQ(run.err, "") << "nothing but articles when not on a terminal";
        windowRun();
        EXPECT_EQ(Rows(db, kArticles), Rows(windowDb, kArticles));
        EXPECT_EQ(Rows(db, kMarkers), Rows(windowDb, kMarkers));
    }
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"5"}}));
    EXPECT_EQ(Rows(db, "select arttile from rule"), (TextTable{{"Title 5"}}));
    // The requests carried the scheme's agent, as the window's do.
    EXPECT_NE(server.Requests().at(0).find("User-Agent: TestAgent\r\n"), std::string::npos);
}

TEST_F(CliTest, JsonLinesAndListsCarryUtf8Text) {
    // A GBK name and title, and a title with a byte pair that has no Unicode form.
    AddScheme(db, Gbk("论坛"), "/board");
    SetPage("<ul><li id=9><a href=\"/t/9\">" + Gbk("中文标题") +
            "</a></li><li id=8><a href=\"/t/8\">bad \x81\x20 end</a></li></ul>");
    ChildOutcome run = RunOnce({"--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    nlohmann::json oldest = nlohmann::json::parse(lines[0]);
    nlohmann::json newest = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(newest["scheme_id"], 1);
    EXPECT_EQ(newest["scheme"], "论坛");
    EXPECT_EQ(newest["title"], "中文标题");
    EXPECT_EQ(newest["link"], "http://bbs.example/t/9");
    EXPECT_EQ(newest["other"], "9");
    EXPECT_EQ(newest["time"], Rows(db, "select addtime from info where other='9'").at(0).at(0));
    EXPECT_EQ(oldest["title"].get<std::string>().find('?'), 4u) << oldest.dump();
    EXPECT_NE(oldest["title"].get<std::string>().find("end"), std::string::npos);

    ChildOutcome list = Cli({"list", "--json", "--db", file.path()});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    nlohmann::json scheme = nlohmann::json::parse(Lines(list.out).at(0));
    EXPECT_EQ(scheme["name"], "论坛");
    EXPECT_EQ(scheme["ticked"], true);
    EXPECT_EQ(scheme["last_title"], "中文标题");

    db.ExecSql("update info set issoucang=1 where other='8'");
    ChildOutcome favourites = Cli({"articles", "--favourites", "--json", "--db", file.path()});
    ASSERT_EQ(Lines(favourites.out).size(), 1u) << favourites.out;
    EXPECT_EQ(nlohmann::json::parse(favourites.out)["favourite"], true);
    ChildOutcome newest1 = Cli({"articles", "--limit", "1", "--db", file.path()});
    ASSERT_EQ(Lines(newest1.out).size(), 1u) << newest1.out;
    EXPECT_NE(newest1.out.find("\t论坛\t中文标题\thttp://bbs.example/t/9"), std::string::npos)
        << newest1.out;
}

// Printed titles and other values are the texts the database holds, not the
// form they took inside the insert statement.
TEST_F(CliTest, PrintedArticlesAreTheStoredText) {
    AddScheme(db, "board", "/board");
    db.ExecSql("update rule set oindex='3'");
    const std::string stored = "It's " + Gbk("（new）；") + " ok";
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "text");
        db.ExecSql("delete from info; update rule set arttile='', arturl=''");
        SetPage("<ul><li id=1><a href=\"/t/1\">It's (new); ok</a></li></ul>");
        ChildOutcome run = json ? RunOnce({"--json"}) : RunOnce();
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Rows(db, "select title,other from info"), (TextTable{{stored, stored}}));
        const std::string shown = "It's （new）； ok";
        if (json) {
            const nlohmann::json article = nlohmann::json::parse(run.out);
            EXPECT_EQ(article["title"], shown);
            EXPECT_EQ(article["other"], shown);
        } else {
            EXPECT_EQ(run.out, "board\t" + shown + "\thttp://bbs.example/t/1\n");
        }
    }
}

TEST_F(CliTest, AFailingSchemeGivesExitOneAndTheOthersStillRun) {
    const int deadPort = test::UnusedLoopbackPort();
    db.ExecSql(
        "insert into rule(code,name,url,ua,arttile,regular,before,after,tindex,isdo,type) "
        "values('1','dead','http://127.0.0.1:" +
        std::to_string(deadPort) + "/','UA','','(x)','<ul>','</ul>','1','1','0')");
    AddScheme(db, "nomarker", "/board", "<nowhere>");
    AddScheme(db, "unticked", "/other", "<ul>", "0");
    AddScheme(db, "good", "/other");
    ChildOutcome run = RunOnce();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"good\tTitle 7\thttp://bbs.example/t/7"}));
    std::vector<std::string> errors = Lines(run.err);
    std::sort(errors.begin(), errors.end());  // in the order the checks ended
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_EQ(errors[0].rfind("vela-cli: [dead] no answer from http://127.0.0.1:", 0), 0u);
    EXPECT_TRUE(errors[0].ends_with("/: connection refused")) << errors[0];
    EXPECT_EQ(errors[1], "vela-cli: [nomarker] 出错！截取源码为空，请检查方案的采集区域！");
    EXPECT_EQ(Rows(db, "select title from info"), (TextTable{{"Title 7"}}));
    // The unticked scheme was not fetched: one request for "nomarker", one for "good".
    EXPECT_EQ(server.Requests().size(), 2u);

    // A marker that has gone from the page is an error too; the page is stored
    // from its start, as the window does.
    db.ExecSql("update rule set arttile='Gone' where name='good'");
    SetPage(BoardPage({8, 7}), true);
    run = RunOnce({"--quiet"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("vela-cli: [good] 出错！无法在源码中找到最后文章标记！"),
              std::string::npos)
        << run.err;
}

TEST_F(CliTest, UsageAndDatabaseErrorsGiveExitTwoAndWriteNothing) {
    AddScheme(db, "board", "/board");
    const std::string notADatabase = test::WriteFile(file.dir(), "notes.txt", "just text\n");
    const std::string noTables = file.dir() + "/empty.sdb";
    {
        Database empty;
        empty.OpenDatabase(noTables, true);
        empty.ExecSql("create table other(x)");
    }
    // A database whose tables' pages are damaged: the schema still reads.
    const std::string damaged = file.dir() + "/damaged.sdb";
    {
        std::string bytes = FileBytes(file.path());
        ASSERT_GT(bytes.size(), 8192u);
        std::fill(bytes.begin() + 4096, bytes.begin() + 8192, '\xff');
        test::WriteFile(file.dir(), "damaged.sdb", bytes);
    }
    const std::string before = FileBytes(file.path());
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{}, "A subcommand is required"},
        {{"watch"}, "watch"},
        {{"run", "--every", "5", "--db", file.path()}, "--every"},
        {{"run", "--once", "--every", "10", "--db", file.path()}, "excludes"},
        {{"articles", "--limit", "0", "--db", file.path()}, "--limit"},
        {{"test", "--db", file.path()}, "SCHEME_ID"},
        {{"test", "--db", file.path(), "one"}, "SCHEME_ID"},
        {{"run", "--db", file.dir() + "/missing.sdb"}, "no database at " + file.dir()},
        {{"list", "--db", notADatabase}, notADatabase + " is not an SQLite database"},
        {{"run", "--db", noTables}, "not a database of this program"},
        {{"articles", "--db", damaged}, damaged + " is damaged"},
        {{"test", "--db", file.path(), "42"}, "no scheme with id 42"},
        {{"run", "--db", ""}, "--db needs the path"},
        {{"list", "--db="}, "--db"},
        {{"test", "--db", file.path(), "99999999999999999999"}, "is not a scheme id"},
        {{"test", "--db", file.path(), "-1"}, "SCHEME_ID"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& arg : c.args) shown += arg + " ";
        ChildOutcome outcome = Cli(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << shown;
        EXPECT_EQ(outcome.out, "") << shown;
        const std::vector<std::string> lines = Lines(outcome.err);
        ASSERT_EQ(lines.size(), 1u) << shown << outcome.err;
        EXPECT_EQ(lines[0].rfind("vela-cli: ", 0), 0u) << shown;
        EXPECT_NE(lines[0].find(c.message), std::string::npos) << shown << lines[0];
    }
    EXPECT_EQ(FileBytes(file.path()), before);
    EXPECT_EQ(FileBytes(notADatabase), "just text\n");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(file.dir() + "/missing.sdb"));
    EXPECT_FALSE(std::filesystem::exists(RunLockPath(file.path())));
}

// An installed runner (its schema under ../share/vela) finds its database through
// XDG_DATA_HOME or HOME; when neither is usable it says which and why.
TEST_F(CliTest, NoDataFolderSaysWhichVariableIsWrong) {
    namespace fs = std::filesystem;
    const fs::path prefix = fs::path(file.dir()) / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share/vela");
    fs::copy_file(kCli, prefix / "bin/vela-cli");
    fs::copy_file(VELA_SCHEMA, prefix / "share/vela/schema.sql");
    const std::string installed = (prefix / "bin/vela-cli").string();
    struct Case {
        const char* home;
        const char* xdg;
        std::string message;
    };
    const Case cases[] = {
        {"relative/home", nullptr,
         "XDG_DATA_HOME is not set and HOME (relative/home) is not an absolute path"},
        {nullptr, "data", "XDG_DATA_HOME (data) is not an absolute path and HOME is not set"},
    };
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string xdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
        c.xdg ? setenv("XDG_DATA_HOME", c.xdg, 1) : unsetenv("XDG_DATA_HOME");
        ChildOutcome outcome = test::RunChild(installed, {"list"}, file.dir());
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    home.empty() ? unsetenv("HOME") : setenv("HOME", home.c_str(), 1);
    xdg.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", xdg.c_str(), 1);
}

TEST_F(CliTest, SigtermDuringAStalledFetchEndsWithinASecond) {
    LoopbackHttpServer stalled([](const std::string&) {
        return CannedReply{"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<ul><li", true};
    });
    AddScheme(db, "board", "/board");
    db.ExecSql("update rule set url='" + stalled.Url("/stalled") + "'");
    AddScheme(db, "next", "/board");
    const TextTable rule = Rows(db, "select * from rule");

    // One scheme at a time: the second is not fetched while the first stalls.
    ChildProcess runner(kCli, {"run", "--every", "10", "--jobs", "1", "--db", file.path()},
                        file.dir());
    ASSERT_TRUE(stalled.WaitForReplies(1, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto signalled = std::chrono::steady_clock::now();
    runner.Signal(SIGTERM);
    ChildOutcome outcome = runner.Wait(std::chrono::seconds(10));
    const auto took = std::chrono::steady_clock::now() - signalled;
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_EQ(outcome.signal, SIGTERM) << "ends by the signal, as asked";
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"0"}}));
    EXPECT_EQ(Rows(db, "select * from rule"), rule);
    EXPECT_TRUE(server.Requests().empty()) << "no request after the stop";
}

TEST_F(CliTest, TwoProgramsOnOneDatabaseStoreEachArticleOnce) {
    AddScheme(db, "board", "/board");
    // Both read the scheme before either has stored anything: each page takes a
    // while to come.
    delayReplies = true;
    const Scheme stale = SchemeFromCells(Rows(db, "select * from rule").at(0));
    ChildProcess first(kCli, {"run", "--db", file.path()}, file.dir(), "first");
    ChildProcess second(kCli, {"run", "--db", file.path()}, file.dir(), "second");
    // The window's worker, with the scheme as its list read it.
    Database windowDb;
    ASSERT_TRUE(windowDb.OpenDatabase(file.path(), false));
    SilentReport report;
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    SchemeRun windowRun = MonitorSchemeExclusively(stale, windowDb, timings, report);
    ChildOutcome a = first.Wait();
    ChildOutcome b = second.Wait();
    EXPECT_EQ(a.exitCode, 0) << a.err;
    EXPECT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(Lines(a.out).size() + Lines(b.out).size() + windowRun.stored, 3u) << a.out << b.out;
    EXPECT_EQ(Rows(db, "select title from info order by id"),
              (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
}

// Another path to the same file (a symbolic link, a detour through "..") is the same
// database: its runs wait for each other as those through one path do.
TEST_F(CliTest, TwoPathsToOneDatabaseShareOneRunLock) {
    namespace fs = std::filesystem;
    AddScheme(db, "board", "/board");
    delayReplies = true;
    fs::create_directories(file.dir() + "/links/sub");
    fs::create_symlink(file.path(), file.dir() + "/links/vela.sdb");
    const std::string paths[] = {file.dir() + "/links/vela.sdb",
                                 file.dir() + "/links/sub/../../vela.sdb"};
    for (const std::string& other : paths) {
        SCOPED_TRACE(other);
        db.ExecSql("delete from info; update rule set arttile='', lastid='0'");
        ChildProcess first(kCli, {"run", "--db", file.path()}, file.dir(), "first");
        ChildProcess second(kCli, {"run", "--db", other}, file.dir(), "second");
        ChildOutcome a = first.Wait();
        ChildOutcome b = second.Wait();
        EXPECT_EQ(a.exitCode, 0) << a.err;
        EXPECT_EQ(b.exitCode, 0) << b.err;
        EXPECT_EQ(Lines(a.out).size() + Lines(b.out).size(), 3u) << a.out << b.out;
        EXPECT_EQ(Rows(db, "select title from info order by id"),
                  (TextTable{{"Title 1"}, {"Title 2"}, {"Title 3"}}));
    }
}

// A lock file that cannot be opened would let runs go unguarded and store articles
// twice: the runner refuses to run, names the file, and makes no request.
TEST_F(CliTest, AnUnusableRunLockStopsTheRunBeforeAnyRequest) {
    namespace fs = std::filesystem;
    AddScheme(db, "board", "/board");
    const std::string lockPath = RunLockPath(file.path());
    const std::string elsewhere = file.dir() + "/elsewhere";
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const Case cases[] = {
        {"a symbolic link", [&] { fs::create_symlink(elsewhere, lockPath); }},
        {"a folder", [&] { fs::create_directory(lockPath); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(lockPath);
        c.plant();
        for (const std::vector<std::string>& extra :
             {std::vector<std::string>{}, std::vector<std::string>{"--quiet"}}) {
            ChildOutcome run = RunOnce(extra);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.out, "");
            ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
            EXPECT_NE(run.err.find("vela-cli: cannot open the lock file " + lockPath),
                      std::string::npos)
                << run.err;
        }
        EXPECT_FALSE(fs::exists(elsewhere));
    }
    fs::remove_all(lockPath);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"0"}}));
}

// A stop while another program holds the database's write lock ends the wait for
// it at once, not after SQLite's time-out.
TEST_F(CliTest, SigtermWhileAnotherProgramHoldsTheDatabaseEndsWithinASecond) {
    AddScheme(db, "board", "/board");
    Database holder;
    ASSERT_TRUE(holder.OpenDatabase(file.path(), false));
    ASSERT_TRUE(holder.ExecSql("begin immediate"));
    ChildProcess runner(kCli, {"run", "--db", file.path()}, file.dir());
    ASSERT_TRUE(server.WaitForReplies(1, std::chrono::seconds(10)));
    // The runner now waits to store the first article.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto signalled = std::chrono::steady_clock::now();
    runner.Signal(SIGTERM);
    ChildOutcome outcome = runner.Wait(std::chrono::seconds(10));
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
    EXPECT_EQ(outcome.signal, SIGTERM) << outcome.err;
    ASSERT_TRUE(holder.ExecSql("rollback"));
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"0"}}));
}

// A pattern that does not compile is its scheme's error, in Boost's words; the
// other schemes still run.
TEST_F(CliTest, AnInvalidPatternIsAnErrorOfItsScheme) {
    AddScheme(db, "bad", "/board");
    db.ExecSql("update rule set regular='<li id=(\\d+' where name='bad'");
    AddScheme(db, "good", "/other");
    ChildOutcome run = RunOnce();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"good\tTitle 7\thttp://bbs.example/t/7"}));
    ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("vela-cli: [bad] invalid pattern: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("parenthes"), std::string::npos) << "Boost's message: " << run.err;

    ChildOutcome test = Cli({"test", "--db", file.path(), "1"});
    EXPECT_EQ(test.exitCode, 1);
    EXPECT_NE(test.err.find("vela-cli: invalid pattern: "), std::string::npos) << test.err;
    EXPECT_EQ(test.err.find("匹配结果为0"), std::string::npos) << test.err;
}

// A database that cannot be written is found before the cycle: exit 2, one line,
// and not a single request (also with --every, which would otherwise go on, and
// with `serve --every`, which would fetch every page and fail at the commit).
TEST_F(CliTest, ReadOnlyDatabaseEndsWithExitTwoBeforeAnyRequest) {
    // Root writes whatever the modes say: as root the runner runs as nobody.
    auto runAsUser = [&](std::vector<std::string> args) {
        if (geteuid() != 0) return Cli(args);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", kCli});
        return test::RunChild("/usr/bin/setpriv", args, file.dir());
    };
    struct Case {
        const char* what;
        mode_t folderMode;
        mode_t fileMode;
        bool newerFormat;  // a write version of the file format SQLite only reads
    };
    const Case cases[] = {
        {"a format version SQLite only reads", 0777, 0666, true},
        {"a read-only file", 0777, 0444, false},
        {"a read-only folder", 0555, 0666, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestDatabaseFile readOnly;
        {
            Database setup;
            ASSERT_TRUE(setup.OpenDatabase(readOnly.path(), false));
            AddScheme(setup, "board", "/board");
        }
        if (c.newerFormat) {
            std::string bytes = FileBytes(readOnly.path());
            bytes[18] = 3;
            test::WriteFile(readOnly.dir(), "vela.sdb", bytes);
        }
        chmod(readOnly.path().c_str(), c.fileMode);
        chmod(readOnly.dir().c_str(), c.folderMode);
        // `serve --every` refuses as `run` does, before it listens.
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"run", "--once"},
              {"run", "--every=10"},
              {"serve", "--every=10", "--listen", "127.0.0.1:0"}}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--db", readOnly.path()});
            ChildOutcome run = runAsUser(args);
            EXPECT_EQ(run.exitCode, 2);
            ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
            EXPECT_NE(run.err.find("vela-cli: cannot write to the database " + readOnly.path()),
                      std::string::npos)
                << run.err;
        }
        chmod(readOnly.dir().c_str(), 0700);
    }
    EXPECT_TRUE(server.Requests().empty());
}

// A file of an earlier version, without the table of the scheme fields, gets it
// on its first open, its table rule untouched, and its schemes run as the same
// schemes do in a current file. Read-only, it lists them with default fields.
TEST_F(CliTest, AnOlderDatabaseGetsTheFieldTableAndRunsAsBefore) {
    test::TestDatabaseFile older(test::TestDatabaseFile::kWithoutSchemeFields);
    Database olderDb;
    ASSERT_TRUE(olderDb.OpenDatabase(older.path(), false));
    AddScheme(olderDb, "board", "/board");
    AddScheme(db, "board", "/board");
    const char* fieldTable =
        "select type,name from sqlite_master where name like 'rule_field%' order by name";
    const char* ruleTable = "select sql from sqlite_master where name='rule'";
    const TextTable ruleBefore = Rows(olderDb, ruleTable);
    ASSERT_TRUE(Rows(olderDb, fieldTable).empty());

    // Read-only (root writes whatever the modes say: as root the runner runs as
    // nobody), it is listed and stays as it was.
    ::chmod(older.path().c_str(), 0444);
    ::chmod(older.dir().c_str(), 0755);
    std::vector<std::string> args = {"list", "--json", "--db", older.path()};
    if (geteuid() == 0) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", kCli});
    }
    ChildOutcome list =
        geteuid() == 0 ? test::RunChild("/usr/bin/setpriv", args, older.dir()) : Cli(args);
    ::chmod(older.path().c_str(), 0644);
    ::chmod(older.dir().c_str(), 0700);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find(R"("include":[],"exclude":[],"clean_titles":false,"fetch":"http"})"),
              std::string::npos)
        << list.out;
    EXPECT_TRUE(Rows(olderDb, fieldTable).empty());

    ChildOutcome run = Cli({"run", "--once", "--db", older.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Cli({"run", "--once", "--db", file.path()}).out, run.out);
    EXPECT_EQ(Rows(olderDb, fieldTable), (TextTable{{"table", "rule_field"},
                                                    {"trigger", "rule_field_fresh"},
                                                    {"trigger", "rule_field_removed"}}));
    EXPECT_EQ(Rows(olderDb, ruleTable), ruleBefore);
    EXPECT_EQ(Rows(olderDb, kArticles).size(), 3u);
    EXPECT_EQ(Rows(olderDb, kArticles), Rows(db, kArticles));
    EXPECT_EQ(Rows(olderDb, kMarkers), Rows(db, kMarkers));
}

// What the keywords drop the runner counts and the rule test marks; a keyword
// that cannot be used fails its scheme, which then stores nothing.
TEST_F(CliTest, DroppedArticlesAreCountedAndMarked) {
    AddScheme(db, "board", "/board");
    ASSERT_TRUE(
        db.ExecSql("insert into rule_field(id,include,exclude,clean_titles) "
                   "values(1,'','/Title [14]$/','0')"));
    const ChildOutcome test = Cli({"test", "--db", file.path(), "1"});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    const std::vector<std::string> lines = Lines(test.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "match 3 (dropped by keywords)"), lines.end())
        << test.out;
    EXPECT_EQ(lines.back(), "1 of 3 matches would be dropped by keywords");

    ChildOutcome run = RunOnce({"--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(Lines(run.out).size(), 3u) << run.out;
    EXPECT_EQ(Lines(run.out)[2], R"({"scheme_id":1,"scheme":"board","stored":2,"dropped":1})");

    SetPage(BoardPage({5, 4, 3, 2, 1}));
    run = RunOnce();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 1u) << run.out;
    EXPECT_EQ(run.err, "vela-cli: [board] 1 new article, 1 filtered by keywords\n");
    EXPECT_EQ(Rows(db, "select title from info order by id"),
              (TextTable{{"Title 2"}, {"Title 3"}, {"Title 5"}}));

    ASSERT_TRUE(db.ExecSql("update rule_field set include='/(/'"));
    SetPage(BoardPage({6, 5}));
    run = RunOnce();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("vela-cli: [board] "), std::string::npos) << run.err;
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"3"}}));
}

TEST_F(CliTest, TestPrintsTheRegionAndEveryMatchAndRecordsNothing) {
    AddScheme(db, "board", "/board");
    SetPage(BoardPage({2, 1}));
    ChildOutcome test = Cli({"test", "--db", file.path(), "1"});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    const std::string region = BoardPage({2, 1});
    const std::size_t begin = region.find("<ul>") + 4;
    // The region without its CR LF pairs.
    std::string cut = region.substr(begin, region.find("</ul>") - begin);
    for (std::size_t at; (at = cut.find("\r\n")) != std::string::npos;) cut.erase(at, 2);
    EXPECT_EQ(Lines(test.out),
              (std::vector<std::string>{"region: " + std::to_string(cut.size()) + " bytes",
                                        "match 1", "  [0] <li id=2><a href=\"/t/2\">Title 2</a>",
                                        "  [1] 2", "  [2] /t/2", "  [3] Title 2", "match 2",
                                        "  [0] <li id=1><a href=\"/t/1\">Title 1</a>", "  [1] 1",
                                        "  [2] /t/1", "  [3] Title 1"}));
    EXPECT_EQ(Rows(db, "select count(*) from info"), (TextTable{{"0"}}));
    EXPECT_EQ(Rows(db, "select arttile from rule"), (TextTable{{""}}));

    SetPage("<ul>no entries</ul>");
    test = Cli({"test", "--db", file.path(), "1"});
    EXPECT_EQ(test.exitCode, 1);
    EXPECT_NE(test.err.find("匹配结果为0"), std::string::npos) << test.err;
}

}  // namespace
}  // namespace vela
