#include "fetch/browser_render.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fetch/process_group.h"
#include "tests/support/browser_probe.h"
#include "tests/support/concurrent_http_server.h"
#include "tests/support/loopback_http_server.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A list that the page builds with a timer after it has loaded.
constexpr const char* kScriptedList =
    "<html><head><meta charset=\"utf-8\"></head><body><ul id=\"list\"></ul><script>"
    "setTimeout(function () { var u = document.getElementById('list');"
    " for (var i = 0; i < 50; i++) { var li = document.createElement('li');"
    " li.innerHTML = '<a href=\"/t/' + i + '\">标题 ' + i + '</a>'; u.appendChild(li); } }, 300);"
    "</script></body></html>";

// A request of `url` with the given browser identification and cookie.
RenderRequest Request(const std::string& url, const std::string& agent = "",
                      const std::string& cookie = "") {
    RenderRequest request;
    request.url = url;
    request.userAgent = agent;
    request.cookie = cookie;
    return request;
}

std::size_t Count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size())) {
        ++n;
    }
    return n;
}

class BrowserRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("browser_render_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        options_.tempFolder = folder_.string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Nothing of a render is left: no process with its profile on its command
    // line, no profile folder.
    void ExpectNothingLeft() {
        EXPECT_EQ(LiveProcessesWith(folder_.string()), 0);
        EXPECT_TRUE(fs::is_empty(folder_));
    }

    fs::path folder_;
    RenderOptions options_;
};

TEST_F(BrowserRenderTest, ScriptBuiltListIsTakenWithTheSchemesCookieAndAgent) {
    VELA_REQUIRE_BROWSER();
    test::LoopbackHttpServer server([](const std::string&) {
        return test::CannedReply{test::SimpleResponse(
            "200 OK", kScriptedList, "Content-Type: text/html; charset=utf-8\r\n")};
    });
    const RenderResult result = RenderPage(
        Request(server.Url("/list"), "VelaTest/1.0 (X11)", "sid=abc; theme=dark"), options_);
    ASSERT_EQ(result.failure, RenderFailure::kNone) << RenderFailureText(result, options_);
    EXPECT_EQ(Count(result.page, "<li>"), 50u);
    EXPECT_NE(result.page.find("标题 49</a>"), std::string::npos);
    EXPECT_GT(result.peakMemoryBytes, 0u);
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests[0].find("Cookie: sid=abc; theme=dark\r\n"), std::string::npos)
        << requests[0];
    EXPECT_NE(requests[0].find("User-Agent: VelaTest/1.0 (X11)\r\n"), std::string::npos)
        << requests[0];
    ExpectNothingLeft();
}

TEST_F(BrowserRenderTest, RequestThatNeverAnswersEndsAtTheTimeLimit) {
    VELA_REQUIRE_BROWSER();
    test::ConcurrentHttpServer server([](const std::string&, const std::string& target) {
        test::TimedReply reply;
        if (target == "/never") {
            reply.stall = true;
        } else {
            reply.bytes = test::SimpleResponse(
                "200 OK", "<html><body><script>fetch('/never');</script></body></html>",
                "Content-Type: text/html\r\n");
        }
        return reply;
    });
    options_.timeLimit = 3s;
    const RenderResult result = RenderPage(Request(server.Url("127.0.0.1", "/page")), options_);
    EXPECT_EQ(result.failure, RenderFailure::kTimeLimit);
    EXPECT_LT(result.elapsed, 4500ms);
    EXPECT_EQ(RenderFailureText(result, options_), "render time limit (3 s)");
    ExpectNothingLeft();
}

TEST_F(BrowserRenderTest, StopEndsTheRenderAndItsBrowserAtOnce) {
    VELA_REQUIRE_BROWSER();
    test::ConcurrentHttpServer server([](const std::string&, const std::string&) {
        test::TimedReply reply;
        reply.stall = true;
        return reply;
    });
    std::atomic<bool> stop{false};
    options_.stopRequested = [&stop] { return stop.load(); };
    std::thread stopper([&] {
        server.WaitForRequests(1, 15s);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const RenderResult result = RenderPage(Request(server.Url("127.0.0.1", "/")), options_);
    stopper.join();
    EXPECT_EQ(result.failure, RenderFailure::kStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 16s);
    ExpectNothingLeft();
}

TEST_F(BrowserRenderTest, PageBeyondTheSizeLimitIsCutAtACharacter) {
    VELA_REQUIRE_BROWSER();
    std::string body = "<html><head><meta charset=\"utf-8\"></head><body>";
    for (int i = 0; i < 1000; ++i) body += "汉字";
    body += "</body></html>";
    test::LoopbackHttpServer server([&body](const std::string&) {
        return test::CannedReply{test::SimpleResponse("200 OK", body)};
    });
    options_.maxBytes = 1001;
    const RenderResult result = RenderPage(Request(server.Url("/")), options_);
    EXPECT_EQ(result.failure, RenderFailure::kSizeLimit);
    EXPECT_LE(result.page.size(), 1001u);
    EXPECT_GE(result.page.size(), 999u);
    EXPECT_EQ(result.page.substr(result.page.size() - 3), "字") << result.page;
    ExpectNothingLeft();
}

// A page that does not say its encoding is read as the scheme says; one that
// does is read as it says, whatever the scheme.
TEST_F(BrowserRenderTest, PageWithoutItsEncodingIsReadInTheSchemesEncoding) {
    VELA_REQUIRE_BROWSER();
    const std::string utf8 = "<html><body><p>标题 甲乙</p></body></html>";
    const std::string gbk = "<html><body><p>\xB1\xEA\xCC\xE2 \xBC\xD7\xD2\xD2</p></body></html>";
    struct Case {
        std::string body, contentType, defaultEncoding;
    } cases[] = {
        {utf8, "text/html", "UTF-8"},
        {gbk, "text/html", "GBK"},
        {utf8, "text/html; charset=utf-8", "GBK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType + " " + c.defaultEncoding);
        test::LoopbackHttpServer server([&c](const std::string&) {
            return test::CannedReply{
                test::SimpleResponse("200 OK", c.body, "Content-Type: " + c.contentType + "\r\n")};
        });
        RenderRequest request = Request(server.Url("/"));
        request.defaultEncoding = c.defaultEncoding;
        const RenderResult result = RenderPage(request, options_);
        ASSERT_EQ(result.failure, RenderFailure::kNone) << RenderFailureText(result, options_);
        EXPECT_NE(result.page.find("<p>标题 甲乙</p>"), std::string::npos) << result.page;
    }
    ExpectNothingLeft();
}

TEST_F(BrowserRenderTest, AddressesThatAreNotWebPagesAreRefusedWithoutABrowser) {
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "data:text/html,x",
                            "ftp://127.0.0.1/", "http://", "http://127.0.0.1/ --x", ""}) {
        SCOPED_TRACE(url);
        const RenderResult result = RenderPage(Request(url), options_);
        EXPECT_EQ(result.failure, RenderFailure::kAddress);
    }
}

TEST_F(BrowserRenderTest, MissingBrowserNamesThePackageToInstall) {
    options_.program = "/nonexistent/chromium";
    const RenderResult result = RenderPage(Request("http://127.0.0.1/"), options_);
    EXPECT_EQ(result.failure, RenderFailure::kMissing);
    EXPECT_NE(RenderFailureText(result, options_).find("apt-get install chromium"),
              std::string::npos);
    EXPECT_EQ(RenderFailureStatusText(result, options_),
              "出错！没有找到浏览器，请安装 chromium 软件包");
}

// A stand-in for the browser that exits with 21 at once, as chromium does when
// its profile is taken; it lies outside the folder of the profiles.
class FakeBrowser {
public:
    FakeBrowser()
        : path_(fs::temp_directory_path() / ("fake-browser-" + std::to_string(getpid()))) {
        FILE* file = std::fopen(path_.c_str(), "w");
        if (file == nullptr) return;
        std::fputs("#!/bin/sh\nexit 21\n", file);
        std::fclose(file);
        fs::permissions(path_, fs::perms::owner_all);
    }
    ~FakeBrowser() { fs::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

TEST_F(BrowserRenderTest, BrowserThatEndsAtOnceGivesItsExitStatus) {
    const FakeBrowser fake;
    options_.program = fake.path();
    const RenderResult result = RenderPage(Request("http://127.0.0.1/"), options_);
    EXPECT_EQ(result.failure, RenderFailure::kExited);
    EXPECT_EQ(result.exitStatus, 21);
    EXPECT_EQ(RenderFailureStatusText(result, options_), "出错！浏览器意外退出（退出码 21）");
    ExpectNothingLeft();
}

// The profile of a program killed in the middle of a render (its lock free) goes
// at the next render; one whose render still runs (its lock held), or that is
// being made (no lock yet), stays.
TEST_F(BrowserRenderTest, ProfileOfAKilledRenderIsRemovedByTheNext) {
    for (const char* name : {"vela-render-killed", "vela-render-running", "vela-render-new"}) {
        fs::create_directories(folder_ / name / "Default");
    }
    std::fclose(std::fopen((folder_ / "vela-render-killed" / "vela.lock").c_str(), "w"));
    const int held =
        open((folder_ / "vela-render-running" / "vela.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const FakeBrowser fake;
    options_.program = fake.path();
    RenderPage(Request("http://127.0.0.1/"), options_);
    EXPECT_FALSE(fs::exists(folder_ / "vela-render-killed"));
    EXPECT_TRUE(fs::exists(folder_ / "vela-render-running" / "Default"));
    EXPECT_TRUE(fs::exists(folder_ / "vela-render-new" / "Default"));
    close(held);
}

}  // namespace
}  // namespace vela
