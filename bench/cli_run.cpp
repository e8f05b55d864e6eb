// Processor time and peak memory of one `vela-cli run --once` over 20 ticked
// schemes of a 1 MiB board page (2,000 entries, GBK) on loopback, measured by
// /usr/bin/time -v around the whole process, in three states of the schemes:
//
//   steady   every marker at the newest entry: nothing new, the region cut short
//   ten-new  every marker at the 11th entry: ten new articles per scheme
//   whole    markers that the page no longer holds: every scheme's region is the
//            whole list and its pattern matches all 2,000 entries; no article is
//            new (CompareArticleId, its highest id above the page's)
//
// and the start of the program alone (`vela-cli list` on an empty database).
//
//   build/bench/vela_cli_run [path/to/vela-cli]

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "store/database.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"

namespace {

using vela::test::CannedReply;
using vela::test::ChildOutcome;
using vela::test::LoopbackHttpServer;
using vela::test::SimpleResponse;

constexpr int kSchemes = 20;
constexpr int kEntries = 2000;

std::string EntryTitle(int n) {
    return "\xD0\xC2\xCC\xFB " + std::to_string(n) + " \xBD\xF1\xCC\xEC\xB5\xC4\xCC\xEC\xC6\xF8";
}

// The board page of the pipeline benchmark: about 1 MiB, newest entry first.
std::string BoardPage() {
    std::string page = "<html><head><title>board</title></head><body><table>\r\n";
    const std::string filler(380, ' ');
    for (int i = kEntries; i > 0; --i) {
        std::string n = std::to_string(i);
        page += "<tr><td>" + filler + "<a href=\"thread-" + n +
                "-1-1.html\" onclick=\"atarget(this)\" class=\"s xst\">" + EntryTitle(i) +
                "</a></td></tr>\r\n";
    }
    return page + "</table></body></html>";
}

void AddSchemes(vela::Database& db, const std::string& url, const std::string& marker, int type) {
    for (int i = 0; i < kSchemes; ++i) {
        db.ExecSql(
            "insert into rule(code,name,url,ua,arttile,buquan,regular,before,after,tindex,uindex,"
            "oindex,isdo,lastid,type) values('1','board " +
            std::to_string(i + 1) + "','" + url + "','bench','" + marker +
            "','http://bbs.example/[1]','<a href=\\\"thread-(\\d+)-1-1.html\\\".*?onclick="
            "\\\"atarget\\(this\\)\\\" class=.*?xst\\\">(.*?)</a>','<table>','</table>','2','1',"
            "'1','1','" +
            std::to_string(type == 8 ? kEntries + 1 : 0) + "','" + std::to_string(type) + "')");
    }
}

void Measure(const std::string& cli, const std::string& label, const std::string& dbPath,
             const std::vector<std::string>& command, const std::string& dir) {
    std::vector<std::string> args = {"-v", cli};
    args.insert(args.end(), command.begin(), command.end());
    args.push_back("--db");
    args.push_back(dbPath);
    vela::test::ChildProcess child("/usr/bin/time", args, dir, "time");
    ChildOutcome outcome = child.Wait(std::chrono::minutes(10));
    std::printf("%-8s exit %d, %zu lines printed\n", label.c_str(), outcome.exitCode,
                vela::test::Lines(outcome.out).size());
    for (const std::string& line : vela::test::Lines(outcome.err)) {
        for (const char* key :
             {"User time", "System time", "Elapsed (wall clock)", "Maximum resident set size"}) {
            if (line.find(key) != std::string::npos) std::printf("%s\n", line.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cli = argc > 1 ? argv[1] : VELA_CLI;
    const std::string page = BoardPage();
    LoopbackHttpServer server(
        [&page](const std::string&) { return CannedReply{SimpleResponse("200 OK", page)}; });
    std::printf("page: %zu bytes, %d entries, %d ticked schemes\n", page.size(), kEntries,
                kSchemes);

    struct State {
        const char* label;
        std::string marker;
        int type;
    };
    const State states[] = {
        {"steady", EntryTitle(kEntries), 0},
        {"ten-new", EntryTitle(kEntries - 10), 0},
        {"whole", "", 8},
    };
    for (const State& state : states) {
        vela::test::TestDatabaseFile file;
        {
            vela::Database db;
            db.OpenDatabase(file.path(), false);
            AddSchemes(db, server.Url("/board"), state.marker, state.type);
        }
        Measure(cli, state.label, file.path(), {"run", "--once", "--quiet"}, file.dir());
    }
    vela::test::TestDatabaseFile empty;
    Measure(cli, "start", empty.path(), {"list"}, empty.dir());
    // The start alone, more finely: the mean wall time of 50 runs of `list`.
    constexpr int kStarts = 50;
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kStarts; ++i) {
        vela::test::RunChild(cli, {"list", "--db", empty.path()}, empty.dir());
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
            .count() /
        kStarts;
    std::printf("start    %.1f ms wall on average over %d runs of `vela-cli list`\n", ms, kStarts);
    return 0;
}
