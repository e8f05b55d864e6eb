// Wall time, processor time and peak memory of one `vela-cli run --once` over
// many schemes whose servers answer slowly, measured by /usr/bin/time -v around
// the whole process. Each scheme has a host name of its own (boardN.localhost,
// which libcurl answers with loopback) on one concurrent loopback server that
// delays every answer by 200 ms; the page is the size of a real forum board
// (42 entries, about 60 KiB of GBK).
//
//   steady   200 schemes, every marker at the newest entry: nothing new
//   first    the same 200 schemes seen for the first time: 8,400 articles stored
//   stalled  200 schemes of which 10 servers send nothing (ends after the 60 s
//            stall limit; only with --stalled)
//   quick    20 schemes, no delay
//   thousand 1,000 schemes, every marker at the newest entry, each answer 200 ms late
//
//   build/bench/vela_concurrent_run [--stalled] [--only LABEL] [path/to/vela-cli]
//                                   [run options...]
//
// Options after the program's path go to `run`, e.g. `--jobs 64` or `--jobs 1`.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "store/database.h"
#include "tests/support/child_process.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
using vela::test::ChildOutcome;
using vela::test::ConcurrentHttpServer;
using vela::test::TimedReply;

constexpr int kEntries = 42;

std::string EntryTitle(int n) {
    return "\xD0\xC2\xCC\xFB " + std::to_string(n) + " \xBD\xF1\xCC\xEC\xB5\xC4\xCC\xEC\xC6\xF8";
}

// A forum board of 42 threads, newest first, with the markup around each entry
// that a real board has.
std::string BoardPage() {
    std::string page =
        "<html><head><title>board</title></head><body>" + std::string(8000, ' ') + "<table>\r\n";
    const std::string filler(1100, ' ');
    for (int i = kEntries; i > 0; --i) {
        const std::string n = std::to_string(i);
        page += "<tr><td>" + filler + "<a href=\"thread-" + n +
                "-1-1.html\" onclick=\"atarget(this)\" class=\"s xst\">" + EntryTitle(i) +
                "</a></td></tr>\r\n";
    }
    return page + "</table>" + std::string(6000, ' ') + "</body></html>";
}

void AddSchemes(const std::string& path, const ConcurrentHttpServer& server, int count,
                const std::string& marker) {
    vela::Database db;
    db.OpenDatabase(path, false);
    std::string sql = "begin;";
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        sql +=
            "insert into rule(code,name,url,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','board " +
            n + "','" + server.Url("board" + n + ".localhost", "/forum-" + n + ".html") +
            "','bench','" + marker +
            "','http://bbs.example/[1]','<a href=\\\"thread-(\\d+)-1-1.html\\\".*?onclick="
            "\\\"atarget\\(this\\)\\\" class=.*?xst\\\">(.*?)</a>','<table>','</table>','2',"
            "'1','1','1','0','0');";
    }
    db.ExecSql(sql + "commit;");
}

void Measure(const std::string& cli, const std::string& label, const std::string& dbPath,
             const std::vector<std::string>& extra, const std::string& dir) {
    std::vector<std::string> args = {"-v", cli, "run", "--once", "--quiet", "--db", dbPath};
    args.insert(args.end(), extra.begin(), extra.end());
    vela::test::ChildProcess child("/usr/bin/time", args, dir, "time");
    ChildOutcome outcome = child.Wait(10min);
    vela::Database db;
    db.OpenDatabase(dbPath, false);
    const auto stored = vela::test::QueryRows(db, "select count(*) from info");
    std::printf("%-8s exit %d, %s articles stored\n", label.c_str(), outcome.exitCode,
                stored.empty() ? "?" : stored[0][0].c_str());
    for (const std::string& line : vela::test::Lines(outcome.err)) {
        for (const char* key :
             {"User time", "System time", "Elapsed (wall clock)", "Maximum resident set size"}) {
            if (line.find(key) != std::string::npos) std::printf("  %s\n", line.c_str());
        }
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int arg = 1;
    bool withStalled = false;
    if (arg < argc && std::string(argv[arg]) == "--stalled") {
        withStalled = true;
        ++arg;
    }
    std::string only;  // run this case alone
    if (arg + 1 < argc && std::string(argv[arg]) == "--only") {
        only = argv[arg + 1];
        arg += 2;
    }
    const std::string cli = arg < argc ? argv[arg++] : VELA_CLI;
    const std::vector<std::string> extra(argv + arg, argv + argc);
    const std::string page = BoardPage();
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) +
                              "\r\nConnection: close\r\n\r\n" + page;
    std::atomic<int> delayMs{200};
    std::atomic<int> stalledHosts{0};
    ConcurrentHttpServer server([&](const std::string& host, const std::string&) {
        TimedReply answer;
        // boardN.localhost: the first `stalledHosts` hosts never answer.
        const int n = std::atoi(host.c_str() + 5);
        answer.stall = n <= stalledHosts;
        answer.bytes = reply;
        answer.delay = std::chrono::milliseconds(delayMs.load());
        return answer;
    });
    std::printf("page: %zu bytes, %d entries; %s\n", page.size(), kEntries, cli.c_str());

    struct Case {
        const char* label;
        int schemes;
        std::string marker;
        int delay;
        int stalled;
    };
    std::vector<Case> cases = {
        {"steady", 200, EntryTitle(kEntries), 200, 0},
        {"first", 200, "", 200, 0},
        {"quick", 20, EntryTitle(kEntries), 0, 0},
        {"thousand", 1000, EntryTitle(kEntries), 200, 0},
    };
    if (withStalled) cases.push_back({"stalled", 200, EntryTitle(kEntries), 200, 10});
    for (const Case& c : cases) {
        if (!only.empty() && only != c.label) continue;
        delayMs = c.delay;
        stalledHosts = c.stalled;
        vela::test::TestDatabaseFile file;
        AddSchemes(file.path(), server, c.schemes, c.marker);
        Measure(cli, c.label, file.path(), extra, file.dir());
    }
    return 0;
}
