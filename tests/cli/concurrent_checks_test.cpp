// The concurrent checks of the runner on their own: the order and limits of the
// checks, and callbacks that throw.

#include "cli/concurrent_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "tests/support/board_page.h"
#include "tests/support/concurrent_http_server.h"

namespace vela {
namespace {

using test::ConcurrentHttpServer;
using test::TimedReply;

// A server whose every answer is a small board page, `delayMs` late.
ConcurrentHttpServer::Handler Board(int delayMs) {
    return [delayMs](const std::string&, const std::string&) {
        const std::string body = test::BoardPage({3, 2, 1});
        TimedReply reply;
        reply.delay = std::chrono::milliseconds(delayMs);
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body;
        return reply;
    };
}

// `count` schemes spread over `hosts` host names h0.localhost …, in turn.
std::vector<Scheme> Schemes(const ConcurrentHttpServer& server, int count, int hosts) {
    std::vector<Scheme> schemes;
    for (int n = 0; n < count; ++n) {
        Scheme scheme;
        scheme.id = std::to_string(n + 1);
        scheme.url =
            server.Url("h" + std::to_string(n % hosts) + ".localhost", "/s/" + std::to_string(n));
        scheme.before = "<ul>";
        scheme.after = "</ul>";
        scheme.pattern = "<a href=\"(.*?)\">(.*?)</a>";
        scheme.linkTemplate = "[1]";
        scheme.titleGroup = 2;
        scheme.idGroup = 1;
        scheme.otherGroup = 1;
        schemes.push_back(scheme);
    }
    return schemes;
}

ConcurrentChecks Checks(CheckLimits limits) {
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    return ConcurrentChecks(limits, timings, [] { return false; });
}

TEST(ConcurrentChecksTest, KeepsToItsLimitsAndOneJobGoesInOrder) {
    struct Case {
        int jobs, perHost, hosts, schemes;
    };
    for (const Case c : {Case{1, 2, 4, 12}, Case{3, 1, 2, 12}, Case{5, 2, 12, 30}}) {
        SCOPED_TRACE(::testing::Message() << "jobs " << c.jobs << ", per host " << c.perHost);
        ConcurrentHttpServer server(Board(20));
        const std::vector<Scheme> schemes = Schemes(server, c.schemes, c.hosts);
        ConcurrentChecks checks = Checks({c.jobs, c.perHost});
        std::vector<std::size_t> recorded;
        int mostInFlight = 0;
        checks.Run(
            schemes,
            [&](std::vector<FinishedCheck>& batch) {
                for (const FinishedCheck& check : batch) {
                    EXPECT_EQ(check.run.matches.size(), 3u) << check.index;
                    recorded.push_back(check.index);
                }
            },
            [&](const CheckCounts& counts) {
                mostInFlight = std::max(mostInFlight, counts.inFlight);
            });
        if (c.jobs == 1) {
            std::vector<std::size_t> inOrder(schemes.size());
            for (std::size_t i = 0; i < inOrder.size(); ++i) inOrder[i] = i;
            EXPECT_EQ(recorded, inOrder);
        }
        std::sort(recorded.begin(), recorded.end());
        EXPECT_EQ(std::unique(recorded.begin(), recorded.end()), recorded.end());
        EXPECT_EQ(recorded.size(), schemes.size());
        EXPECT_LE(mostInFlight, c.jobs);
        EXPECT_LE(server.MostInFlight(), c.jobs);
        for (int host = 0; host < c.hosts; ++host) {
            EXPECT_LE(server.MostInFlight("h" + std::to_string(host) + ".localhost"), c.perHost);
        }
    }
}

// A callback that throws ends the run: the threads are stopped and joined (the
// program is not terminated) and the exception reaches the caller.
TEST(ConcurrentChecksTest, AnExceptionOfACallbackReachesTheCallerOnceTheThreadsHaveEnded) {
    ConcurrentHttpServer server(Board(50));
    const std::vector<Scheme> schemes = Schemes(server, 40, 40);
    const auto fail = [] { throw std::runtime_error("callback failed"); };
    struct Case {
        const char* name;
        bool inRecord;
    };
    for (const Case c : {Case{"record", true}, Case{"progress", false}}) {
        SCOPED_TRACE(c.name);
        ConcurrentChecks checks = Checks({8, 2});
        EXPECT_THROW(checks.Run(
                         schemes,
                         [&](std::vector<FinishedCheck>&) {
                             if (c.inRecord) fail();
                         },
                         [&](const CheckCounts&) {
                             if (!c.inRecord) fail();
                         }),
                     std::runtime_error);
    }
    EXPECT_LT(server.RequestCount(), 80u) << "the runs stopped early";
}

}  // namespace
}  // namespace vela
