#include "fetch/http_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>

#include "tests/support/loopback_http_server.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using test::CannedReply;
using test::LoopbackHttpServer;
using test::RequestTarget;
using test::SimpleResponse;

const std::string kSpaces(5000, ' ');
constexpr auto kWait = 5s;

// Replaces every "{url}" by `url` and "{port}" by `port`.
std::string Fill(std::string text, const std::string& url, int port) {
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{url}", url}, {"{port}", std::to_string(port)}}) {
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

// A server that answers each path from a table, "200 OK" with body "ok" otherwise.
class Routes {
public:
    void Set(const std::string& target, CannedReply reply) {
        std::lock_guard lock(mutex_);
        routes_[target] = std::move(reply);
    }
    LoopbackHttpServer::Handler Handler() {
        return [this](const std::string& request) {
            std::lock_guard lock(mutex_);
            const auto it = routes_.find(RequestTarget(request));
            return it != routes_.end() ? it->second : CannedReply{SimpleResponse("200 OK", "ok")};
        };
    }

private:
    std::mutex mutex_;
    std::map<std::string, CannedReply> routes_;
};

class HttpFetchTest : public ::testing::Test {
protected:
    Routes routes_;
    LoopbackHttpServer server_{routes_.Handler()};
};

// What goes out on the wire, byte for byte: the header block plus Host, one
// User-Agent line and, with a body, Content-Length.
TEST_F(HttpFetchTest, SendsTheHeaderBlockExactly) {
    struct Case {
        const char* name;
        std::function<void(HttpFetchParams&)> setUp;
        std::string request;  // "{url}" stands for params.url, "{port}" for the port
    };
    const std::string tail =
        "Accept-Language: zh-cn\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n";
    const Case cases[] = {
        {"monitoring path with a cookie",
         [](HttpFetchParams& p) {
             p.cookie = "a=1; b=2";
             p.headers = "User-Agent: Vela/1.0 (\xD6\xD0)";
         },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Vela/1.0 (\xD6\xD0)\r\nAccept: */*\r\nReferer: {url}\r\n" +
             tail + "Cookie: a=1; b=2\r\n\r\n"},
        {"monitoring path with an empty cookie",
         [](HttpFetchParams& p) {
             p.cookie = "";
             p.headers = "User-Agent: Vela/1.0";
         },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Vela/1.0\r\nAccept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
        {"no headers: the default agent",
         [](HttpFetchParams&) {},
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
        // libcurl cannot send a value-less line with its trailing blank; it goes out
        // as "User-Agent:", and no other agent is added.
        {"empty User-Agent line",
         [](HttpFetchParams& p) { p.headers = "User-Agent: "; },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent:\r\nAccept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
        {"User-Agent in other letter case",
         [](HttpFetchParams& p) { p.headers = "user-agent: Low"; },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "user-agent: Low\r\nAccept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
        {"a name inside another value counts as present",
         [](HttpFetchParams& p) { p.headers = "User-Agent: X Referer: y Accept: z"; },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: X Referer: y Accept: z\r\n" +
             tail + "\r\n"},
        {"cookie text holding its own header names",
         [](HttpFetchParams& p) { p.cookie = "Cookie: a=1\r\nCookie: b=2"; },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "Cookie: a=1\r\nCookie: b=2\r\n\r\n"},
        {"POST with only postText",
         [](HttpFetchParams& p) {
             p.method = kHttpPost;
             p.postText = "q=\xD6\xD0";
         },
         "POST /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "Content-Length: 4\r\n\r\nq=\xD6\xD0"},
        {"POST with postBytes and postText",
         [](HttpFetchParams& p) {
             p.method = kHttpPost;
             p.postText = "text";
             p.postBytes = std::string("b\0y", 3);
             p.headers = "Content-Type: text/plain";
         },
         "POST /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Content-Type: text/plain\r\nAccept: */*\r\nReferer: {url}\r\n"
         "Accept-Language: zh-cn\r\nContent-Length: 3\r\n\r\n" +
             std::string("b\0y", 3)},
        {"HEAD with a body",
         [](HttpFetchParams& p) {
             p.method = kHttpHead;
             p.postText = "x=1";
         },
         "HEAD /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "Content-Length: 3\r\n\r\nx=1"},
        {"unknown method is GET",
         [](HttpFetchParams& p) {
             p.method = 7;
             p.postText = "ignored";
         },
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpFetchParams p;
        p.url = server_.Url("/list?page=1");
        c.setUp(p);
        const std::size_t before = server_.Requests().size();
        EXPECT_EQ(HttpFetch(p), p.method == kHttpHead ? "" : "ok");
        const auto requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        EXPECT_EQ(requests.back(), Fill(c.request, p.url, server_.port()));
    }
}

TEST_F(HttpFetchTest, WritesBackTheBlockAndTheBodySent) {
    HttpFetchParams p;
    p.url = server_.Url("/form");
    p.method = kHttpPost;
    p.postText = "q=1";
    p.headers = "User-Agent: V";
    p.cookie = "a=1";
    HttpFetch(p);
    EXPECT_EQ(p.headers, "User-Agent: V\r\nAccept: */*\r\nReferer: " + p.url +
                             "\r\nAccept-Language: zh-cn\r\n"
                             "Content-Type: application/x-www-form-urlencoded\r\nCookie: a=1");
    EXPECT_EQ(p.postBytes, "q=1");
}

}  // namespace
}  // namespace vela
