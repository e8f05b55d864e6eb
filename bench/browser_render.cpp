// The browser fetcher on a loopback page that builds 50 items with a script
// 300 ms after it has loaded:
//
//   render   wall time and peak memory (resident, the whole process group) of
//            single renders, one after the other
//   cycle    a monitoring cycle of 10 schemes whose fetch is "browser" (the
//            engine's runs, one render at a time as the runner's default)
//   stop     from a stop asked for in the middle of a render to the moment no
//            process of the browser is left
//   kill -9  from SIGKILL of a process in the middle of its render to the moment
//            no process of its browser is left (the browser ends by itself)
//
//   build/bench/vela_browser_render [renders]

#include "fetch/browser_render.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/scheme_run.h"
#include "engine/stored_fields.h"
#include "fetch/process_group.h"
#include "store/bound_sql.h"
#include "store/database.h"
#include "store/scheme_fields.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kPage =
    "<html><head><meta charset=\"utf-8\"></head><body><ul id=\"list\"></ul><script>"
    "setTimeout(function () { var u = document.getElementById('list');"
    " for (var i = 0; i < 50; i++) { var li = document.createElement('li');"
    " li.innerHTML = '<a href=\"/t/' + i + '\">标题 ' + i + '</a>'; u.appendChild(li); } }, 300);"
    "</script></body></html>";

// A request of `url` with the given browser identification and cookie.
vela::RenderRequest Request(const std::string& url, const std::string& agent = "",
                            const std::string& cookie = "") {
    vela::RenderRequest request;
    request.url = url;
    request.userAgent = agent;
    request.cookie = cookie;
    return request;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const int renders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    vela::test::ConcurrentHttpServer server([](const std::string&, const std::string& target) {
        vela::test::TimedReply reply;
        reply.stall = target == "/stalled";
        if (!reply.stall) {
            reply.bytes = vela::test::SimpleResponse("200 OK", kPage,
                                                     "Content-Type: text/html; charset=utf-8\r\n");
        }
        return reply;
    });
    const std::string url = server.Url("127.0.0.1", "/list");

    std::vector<double> wall;
    std::size_t peak = 0;
    for (int i = 0; i < renders; ++i) {
        vela::RenderOptions options;
        const vela::RenderResult result = vela::RenderPage(Request(url, "bench", ""), options);
        if (result.failure != vela::RenderFailure::kNone) {
            std::printf("render failed: %s\n", vela::RenderFailureText(result, options).c_str());
            return 1;
        }
        wall.push_back(static_cast<double>(result.elapsed.count()));
        peak = std::max(peak, result.peakMemoryBytes);
    }
    std::sort(wall.begin(), wall.end());
    std::printf("render: %d renders, wall median %.0f ms, max %.0f ms; peak memory %.0f MiB\n",
                renders, wall[wall.size() / 2], wall.back(), peak / 1048576.0);

    // A cycle of 10 browser schemes, run as the runner runs them (one render at a time).
    {
        vela::test::TestDatabaseFile file;
        vela::Database db;
        db.OpenDatabase(file.path(), false);
        vela::EnsureSchemeFieldTable(db);
        vela::SchemeFields fields;
        fields.fetch = vela::FetchMode::kBrowser;
        for (int i = 1; i <= 10; ++i) {
            db.ExecSql(
                "insert into rule(id,code,name,url,ua,arttile,buquan,regular,before,after,tindex,"
                "uindex,oindex,isdo,lastid,type) values(" +
                std::to_string(i) + ",'0','s" + std::to_string(i) + "','" + url +
                "','bench','','http://bbs.example[1]','<li><a href=\"(.*?)\">(.*?)</a></li>',"
                "'<ul id=\"list\">','</ul>','2','1','1','1','0','0')");
            vela::ExecBound(db, vela::SchemeFieldsSaveStatement(i, fields));
        }
        std::vector<vela::Scheme> schemes;
        for (const auto& row : vela::test::QueryRows(db, "select * from rule order by id")) {
            schemes.push_back(vela::SchemeFromCells(row));
        }
        vela::LoadSchemeFields(db, schemes);
        vela::MonitorTimings timings;
        timings.insertPauseMs = 0;
        vela::test::SilentReport report;
        const auto start = Clock::now();
        int stored = 0;
        for (const vela::Scheme& scheme : schemes) {
            stored += vela::MonitorScheme(scheme, db, timings, report).stored;
        }
        std::printf("cycle: 10 browser schemes in %.0f ms, %d articles stored\n",
                    Ms(Clock::now() - start), stored);
    }

    // A stop in the middle of a render (the page's request never answered).
    {
        std::atomic<bool> stop{false};
        vela::RenderOptions options;
        options.stopRequested = [&stop] { return stop.load(); };
        const std::string marker = "vela-render-";
        Clock::time_point asked;
        std::thread stopper([&] {
            server.WaitForRequests(server.RequestCount() + 1, 20s);
            std::this_thread::sleep_for(300ms);  // the browser well under way
            asked = Clock::now();
            stop = true;
        });
        const vela::RenderResult result =
            vela::RenderPage(Request(server.Url("127.0.0.1", "/stalled")), options);
        const auto returned = Clock::now();
        stopper.join();
        while (vela::LiveProcessesWith(marker) > 0 && Clock::now() - returned < 5s) {
            std::this_thread::sleep_for(5ms);
        }
        std::printf(
            "stop: render returned %.0f ms after the stop (%s), no browser process "
            "after %.0f ms\n",
            Ms(returned - asked),
            result.failure == vela::RenderFailure::kStopped ? "stopped" : "NOT stopped",
            Ms(Clock::now() - asked));
    }

    // The program that started the render killed by SIGKILL: nothing of it is left
    // to kill the browser, which must end by itself.
    {
        const std::string marker = "vela-render-";
        const std::size_t seen = server.RequestCount();
        const pid_t child = fork();
        if (child == 0) {
            vela::RenderOptions options;
            vela::RenderPage(Request(server.Url("127.0.0.1", "/stalled")), options);
            _exit(0);
        }
        server.WaitForRequests(seen + 1, 20s);
        std::this_thread::sleep_for(300ms);
        const int before = vela::LiveProcessesWith(marker);
        const auto killed = Clock::now();
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        while (vela::LiveProcessesWith(marker) > 0 && Clock::now() - killed < 30s) {
            std::this_thread::sleep_for(5ms);
        }
        std::printf("kill -9: %d browser processes before, none left after %.0f ms\n", before,
                    Ms(Clock::now() - killed));
    }
    return 0;
}
