#include "fetch/http_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "hanging_resolver.h"
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
        {"no headers: the default agent", [](HttpFetchParams&) {},
         "GET /list?page=1 HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
         "Accept: */*\r\nReferer: {url}\r\n" +
             tail + "\r\n"},
        // libcurl cannot send a value-less line with its trailing blank; it goes out
        // as "User-Agent:", and no other agent is added.
        {"empty User-Agent line", [](HttpFetchParams& p) { p.headers = "User-Agent: "; },
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

// The raw header of the final response with CR LF line ends (the server writes
// bare LF), Set-Cookie in any letter case rewritten, the cookie steps, and the body
// of an error page.
TEST_F(HttpFetchTest, ReturnsBodyAndRawHeaderOfAnErrorPage) {
    routes_.Set("/missing", {"HTTP/1.1 404 Not Found\n"
                             "set-cookie: s=1; path=/\n"
                             "SET-COOKIE: a=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT\n"
                             "Content-Length: 5\n"
                             "\n"
                             "nope!"});
    HttpFetchParams p;
    p.url = server_.Url("/missing");
    p.cookie = "a=1; b = 2";
    EXPECT_EQ(HttpFetch(p), "nope!");
    EXPECT_EQ(p.responseHeaders,
              "HTTP/1.1 404 Not Found\r\n"
              "Set-Cookie: s=1; path=/\r\n"
              "Set-Cookie: a=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n"
              "Content-Length: 5\r\n"
              "\r\n");
    EXPECT_EQ(*p.cookie, "s=1; b=2");
    EXPECT_EQ(p.responseCookies, "s=1; b=2");

    // Without a cookie there is nothing to merge into.
    HttpFetchParams q;
    q.url = server_.Url("/missing");
    EXPECT_EQ(HttpFetch(q), "nope!");
    EXPECT_FALSE(q.cookie.has_value());
    EXPECT_EQ(q.responseCookies, "s=1; a=deleted");
}

TEST_F(HttpFetchTest, BodyComesBackAsReceived) {
    std::string big(32 << 20, 'x');  // the largest page taken whole
    big[1000] = '\0';
    big[big.size() - 1] = '\xD6';
    routes_.Set("/big", {SimpleResponse("200 OK", big, "Content-Encoding: gzip\r\n")});
    routes_.Set("/chunked", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "3\r\nabc\r\n2\r\nde\r\n0\r\nX-Trailer: t\r\n\r\n"});
    HttpFetchParams p;
    p.url = server_.Url("/big");
    EXPECT_TRUE(HttpFetch(p) == big);
    routes_.Set("/bigger", {SimpleResponse("200 OK", big + "beyond")});
    p.url = server_.Url("/bigger");
    EXPECT_TRUE(HttpFetch(p) == big) << "cut at 32 MiB like a failing read";
    p.url = server_.Url("/chunked");
    EXPECT_EQ(HttpFetch(p), "abcde");
    EXPECT_EQ(p.responseHeaders, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
}

TEST_F(HttpFetchTest, HeaderFitsOnlyBelow5000Bytes) {
    // Each response header is padded to the given total length.
    for (const std::size_t total : {4999u, 5000u, 100000u}) {
        SCOPED_TRACE(total);
        const std::string start = "HTTP/1.1 200 OK\r\nSet-Cookie: c=1\r\nX-Pad: ";
        const std::string end = "\r\nContent-Length: 4\r\n\r\n";
        const std::string header =
            start + std::string(total - start.size() - end.size(), 'p') + end;
        routes_.Set("/padded", {header + "body"});
        HttpFetchParams p;
        p.url = server_.Url("/padded");
        p.cookie = "a=1";
        EXPECT_EQ(HttpFetch(p), "body");
        EXPECT_EQ(p.responseHeaders, total < 5000 ? header : kSpaces);
        EXPECT_EQ(*p.cookie, total < 5000 ? "c=1; a=1" : "a=1");
    }
}

TEST_F(HttpFetchTest, ManySetCookieLinesAreTooLongAHeader) {
    std::string header = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; header.size() < 100000; ++i) {
        header += "Set-Cookie: c" + std::to_string(i) + "=1; path=/\r\n";
    }
    routes_.Set("/cookies", {header + "Content-Length: 2\r\n\r\nok"});
    HttpFetchParams p;
    p.url = server_.Url("/cookies");
    p.cookie = "";
    EXPECT_EQ(HttpFetch(p), "ok");
    EXPECT_EQ(p.responseHeaders, kSpaces);
    EXPECT_EQ(*p.cookie, "");
}

TEST_F(HttpFetchTest, KeepsOnlyTheHeaderAfterAnInterimAnswer) {
    routes_.Set("/interim",
                {"HTTP/1.1 100 Continue\r\nX-Early: 1\r\n\r\n" + SimpleResponse("200 OK", "done")});
    HttpFetchParams p;
    p.url = server_.Url("/interim");
    EXPECT_EQ(HttpFetch(p), "done");
    EXPECT_EQ(p.responseHeaders,
              "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\n");
}

// A redirect to another port (another origin): the whole block, the cookie line
// with it, goes again; the answer is that of the final response only.
TEST_F(HttpFetchTest, FollowsRedirectsUnlessTold) {
    Routes otherRoutes;
    LoopbackHttpServer other(otherRoutes.Handler());
    otherRoutes.Set("/final", {SimpleResponse("200 OK", "final", "X-Final: 1\r\n")});
    const std::string redirect = SimpleResponse(
        "302 Found", "moved", "Location: " + other.Url("/final") + "\r\nSet-Cookie: r=1\r\n");
    routes_.Set("/start", {redirect});

    HttpFetchParams p;
    p.url = server_.Url("/start");
    p.cookie = "a=1";
    p.headers = "User-Agent: V";
    EXPECT_EQ(HttpFetch(p), "final");
    EXPECT_EQ(p.responseHeaders,
              "HTTP/1.1 200 OK\r\nX-Final: 1\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(*p.cookie, "a=1");
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_EQ(other.Requests()[0],
              "GET /final HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(other.port()) + "\r\n" +
                  p.headers + "\r\n\r\n");

    HttpFetchParams q;
    q.url = server_.Url("/start");
    q.cookie = "a=1";
    q.noRedirect = true;
    EXPECT_EQ(HttpFetch(q), "moved");
    EXPECT_EQ(q.responseHeaders, redirect.substr(0, redirect.size() - 5));
    EXPECT_EQ(*q.cookie, "r=1; a=1");
    EXPECT_EQ(other.Requests().size(), 1u);
}

// The scheme's cookie is its login on its own site: a redirect carries it to that
// host and its subdomains only, never to another host; the rest of the block goes
// everywhere.
TEST_F(HttpFetchTest, CookieFollowsARedirectOnlyWithinItsSite) {
    Routes otherRoutes;
    LoopbackHttpServer other(otherRoutes.Handler());
    const std::string port = std::to_string(server_.port());
    const std::string otherPort = std::to_string(other.port());
    struct Case {
        std::string from;  // host of the scheme's address, on server_
        std::string to;    // host of the redirect target, on `other`
        bool keepsCookie;
    };
    const Case cases[] = {
        {"127.0.0.1", "other.localhost", false}, {"localhost", "sub.localhost", true},
        {"b.localhost", "x.b.localhost", true},  {"b.localhost", "ab.localhost", false},
        {"sub.localhost", "localhost", false},   {"localhost", "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        for (const std::string cookie : {"sid=secret", "Cookie: sid=secret"}) {
            SCOPED_TRACE(c.from + " -> " + c.to + " with " + cookie);
            routes_.Set("/start", {SimpleResponse("302 Found", "",
                                                  "Location: http://" + c.to + ":" + otherPort +
                                                      "/final\r\n")});
            HttpFetchParams p;
            p.url = "http://" + c.from + ":" + port + "/start";
            p.cookie = cookie;
            p.headers = "User-Agent: V";
            EXPECT_EQ(HttpFetch(p), "ok");
            const std::string first = server_.Requests().back();
            const std::string second = other.Requests().back();
            EXPECT_NE(first.find("\r\nCookie: sid=secret\r\n"), std::string::npos) << first;
            EXPECT_EQ(second.find("\r\nCookie: sid=secret\r\n") != std::string::npos, c.keepsCookie)
                << second;
            if (!c.keepsCookie) {
                EXPECT_EQ(second.find("secret"), std::string::npos) << second;
            }
            EXPECT_NE(second.find("\r\nReferer: " + p.url + "\r\n"), std::string::npos);
        }
    }
}

TEST_F(HttpFetchTest, RedirectKeepsOrDropsThePostBody) {
    for (const auto& [status, sentAgain] :
         {std::pair<std::string, std::string>{"302 Found", "GET /to HTTP/1.1"},
          {"303 See Other", "GET /to HTTP/1.1"},
          {"307 Temporary Redirect", "POST /to HTTP/1.1"}}) {
        SCOPED_TRACE(status);
        routes_.Set("/from", {SimpleResponse(status, "", "Location: /to\r\n")});
        HttpFetchParams p;
        p.url = server_.Url("/from");
        p.method = kHttpPost;
        p.postText = "k=v";
        EXPECT_EQ(HttpFetch(p), "ok");
        const std::string request = server_.Requests().back();
        EXPECT_EQ(request.substr(0, request.find("\r\n")), sentAgain);
        EXPECT_EQ(request.ends_with("\r\n\r\nk=v"), sentAgain.starts_with("POST"));
    }
}

TEST_F(HttpFetchTest, StopsFollowingARedirectLoop) {
    routes_.Set("/loop", {SimpleResponse("302 Found", "again", "Location: /loop\r\n")});
    HttpFetchParams p;
    p.url = server_.Url("/loop");
    EXPECT_EQ(HttpFetch(p), "again");
    EXPECT_EQ(server_.Requests().size(), 21u);
}

TEST_F(HttpFetchTest, FollowsARedirectFromHttpToHttps) {
    // The https side is a plain HTTP server: the TLS handshake reaches it and fails.
    LoopbackHttpServer tls(
        [](const std::string&) { return CannedReply{"HTTP/1.1 400 Bad\r\n\r\n"}; });
    routes_.Set(
        "/secure",
        {SimpleResponse("301 Moved Permanently", "",
                        "Location: https://127.0.0.1:" + std::to_string(tls.port()) + "/\r\n")});
    HttpFetchParams p;
    p.url = server_.Url("/secure");
    EXPECT_EQ(HttpFetch(p), "");
    ASSERT_EQ(tls.Requests().size(), 1u);
    EXPECT_EQ(tls.Requests()[0][0], '\x16');  // a TLS handshake record
    EXPECT_EQ(p.responseHeaders, kSpaces);
}

TEST_F(HttpFetchTest, SendsHttpThroughTheProxyInAbsoluteForm) {
    HttpFetchParams p;
    p.url = "http://example.invalid:8080/a b?x=1#frag";
    p.proxy = "127.0.0.1:" + std::to_string(server_.port());
    EXPECT_EQ(HttpFetch(p), "ok");
    const std::string request = server_.Requests().back();
    EXPECT_EQ(request.substr(0, request.find("\r\n")),
              "GET http://example.invalid:8080/a%20b?x=1 HTTP/1.1");
    EXPECT_NE(request.find("\r\nReferer: http://example.invalid:8080/a b?x=1#frag\r\n"),
              std::string::npos);

    // An https address tunnels through the same proxy.
    p.url = "https://example.invalid/";
    EXPECT_EQ(HttpFetch(p), "");
    EXPECT_TRUE(server_.Requests().back().starts_with("CONNECT example.invalid:443 HTTP/1.1\r\n"));
}

TEST_F(HttpFetchTest, SendsTheObjectPathAsBuilt) {
    const std::pair<std::string, std::string> cases[] = {
        {"{base}/a b?q=\xD6\xD0#top", "GET /a%20b?q=\xD6\xD0#top HTTP/1.1"},
        {"127.0.0.1:{port}/no/scheme", "GET /no/scheme HTTP/1.1"},
        {"HTTP://127.0.0.1:{port}", "GET / HTTP/1.1"},
        {"{base}/" + std::string(10000, 'a'), "GET /" + std::string(10000, 'a') + " HTTP/1.1"},
    };
    for (const auto& [address, requestLine] : cases) {
        SCOPED_TRACE(address);
        std::string url = Fill(address, "", server_.port());
        url = url.starts_with("{base}") ? server_.Url("") + url.substr(6) : url;
        HttpFetchParams p;
        p.url = url;
        EXPECT_EQ(HttpFetch(p), "ok");
        const std::string request = server_.Requests().back();
        EXPECT_EQ(request.substr(0, request.find("\r\n")), requestLine);
        EXPECT_NE(request.find("\r\nReferer: " + url + "\r\n"), std::string::npos);
    }
}

// No request can be made of these addresses: nothing goes out and nothing the
// caller handed in is changed.
TEST_F(HttpFetchTest, AddressWithoutARequestChangesNothing) {
    const std::string port = std::to_string(server_.port());
    const std::string cases[] = {
        "",
        "http:///x",
        "ftp://127.0.0.1:" + port + "/",
        "file:///etc/passwd",
        "http://127.0.0.1:0/",
        "http://127.0.0.1:70000/",
        "http://127.0.0.1:port/",
        "http://127.0.0.1:" + port + "/\r\nX-Injected: 1",
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        HttpFetchParams p;
        p.url = url;
        p.method = kHttpPost;
        p.postText = "t";
        p.cookie = "a = 1";
        p.headers = "User-Agent: V";
        p.responseHeaders = "untouched";
        p.responseCookies = "untouched";
        EXPECT_EQ(HttpFetch(p), "");
        EXPECT_EQ(*p.cookie, "a = 1");
        EXPECT_EQ(p.headers, "User-Agent: V");
        EXPECT_EQ(p.postBytes, "");
        EXPECT_EQ(p.responseHeaders, "untouched");
        EXPECT_EQ(p.responseCookies, "untouched");
    }
    EXPECT_TRUE(server_.Requests().empty());
}

// The request went nowhere: empty body, 5000 spaces, but the block was built and
// the cookie steps ran.
TEST_F(HttpFetchTest, FailedSendStillRunsTheCookieSteps) {
    routes_.Set("/silent", {"", true});
    routes_.Set("/garbage", {"hello\r\n\r\nthere"});
    routes_.Set("/cut-header", {"HTTP/1.1 200 OK\r\nContent-Le"});
    FetchOptions quick;
    quick.stallTimeout = 300ms;
    const std::string cases[] = {
        "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/",  // refused
        "http://bad host/",                                           // no such name, and no lookup
        "https://127.0.0.1:" + std::to_string(server_.port()) + "/",  // TLS fails
        server_.Url("/silent"),                                       // never answers
        server_.Url("/garbage"),     // answers without a status line
        server_.Url("/cut-header"),  // leaves in the middle of the header
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        HttpFetchParams p;
        p.url = url;
        p.cookie = "a = 1; a=2";
        EXPECT_EQ(HttpFetch(p, quick), "");
        EXPECT_EQ(p.responseHeaders, kSpaces);
        EXPECT_EQ(*p.cookie, "a=1");
        EXPECT_EQ(p.responseCookies, "a=1");
        EXPECT_TRUE(p.headers.starts_with("Accept: */*\r\nReferer: " + url + "\r\n"));
    }
}

TEST(HttpFetch, GivesUpConnectingAfterTheConnectTimeout) {
    test::DeadLoopbackPort dead;
    ASSERT_TRUE(dead.ok());
    FetchOptions options;
    options.connectTimeout = 300ms;
    HttpFetchParams p;
    p.url = "http://127.0.0.1:" + std::to_string(dead.port()) + "/";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpFetch(p, options), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, kWait);
    EXPECT_EQ(p.responseHeaders, kSpaces);
}

// A body cut short keeps what arrived: peer gone, peer silent, body too big.
TEST_F(HttpFetchTest, BodyCutShortKeepsWhatArrived) {
    const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    routes_.Set("/closed", {header + "first"});
    routes_.Set("/stalled", {header + "first", true});
    routes_.Set("/large", {SimpleResponse("200 OK", std::string(5000, 'b'))});
    FetchOptions options;
    options.stallTimeout = 300ms;
    options.maxBodyBytes = 1000;
    for (const char* path : {"/closed", "/stalled"}) {
        SCOPED_TRACE(path);
        HttpFetchParams p;
        p.url = server_.Url(path);
        EXPECT_EQ(HttpFetch(p, options), "first");
        EXPECT_EQ(p.responseHeaders, header);
    }
    HttpFetchParams p;
    p.url = server_.Url("/large");
    EXPECT_EQ(HttpFetch(p, options), std::string(1000, 'b'));
}

// A server that sends a byte now and then never stalls; the limit on the whole
// call ends it all the same, and what arrived is the body.
TEST_F(HttpFetchTest, OverallLimitEndsATricklingTransfer) {
    CannedReply trickle{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nstart"};
    trickle.trickleEvery = 50ms;
    routes_.Set("/trickle", trickle);
    FetchOptions options;
    options.stallTimeout = 300ms;
    options.totalTimeout = 800ms;
    HttpFetchParams p;
    p.url = server_.Url("/trickle");
    const auto start = std::chrono::steady_clock::now();
    const std::string body = HttpFetch(p, options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 800ms);
    EXPECT_LT(took, 2s);
    EXPECT_TRUE(body.starts_with("startx")) << body;
    EXPECT_LT(body.size(), 1005u);
}

// Why a page is missing or incomplete, against short limits: each cause named,
// whatever part of the page came.
TEST_F(HttpFetchTest, NamesWhyThePageIsMissingOrIncomplete) {
    const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    CannedReply trickle{header + "start"};
    trickle.trickleEvery = 50ms;
    routes_.Set("/trickle", trickle);
    routes_.Set("/stalled", {header + "first", true});
    routes_.Set("/closed", {header + "first"});
    routes_.Set("/large", {SimpleResponse("200 OK", std::string(5000, 'b'))});
    routes_.Set("/garbage", {"hello\r\n\r\nthere"});
    routes_.Set("/missing", {SimpleResponse("404 Not Found", "gone")});
    routes_.Set("/loop", {SimpleResponse("302 Found", "again", "Location: /loop\r\n")});
    routes_.Set("/to-file", {SimpleResponse("302 Found", "", "Location: file:///etc/passwd\r\n")});
    routes_.Set("/to-nowhere", {SimpleResponse("302 Found", "", "Location: http://a b/\r\n")});
    test::DeadLoopbackPort dead;
    ASSERT_TRUE(dead.ok());
    FetchOptions options;
    options.connectTimeout = 300ms;
    options.maxBodyBytes = 1000;
    options.maxRedirects = 3;
    const std::string loopback = "http://127.0.0.1:";
    // Only the limit a case is about is short, so that a loaded machine cannot
    // make another one end it first.
    static constexpr std::chrono::milliseconds kLong = 20s;
    const struct {
        std::string url;
        FetchFailure failure;
        bool gotPart;
        std::chrono::milliseconds stall = kLong;
        std::chrono::milliseconds total = kLong;
    } cases[] = {
        {server_.Url("/missing"), FetchFailure::kNone, true},
        {"ftp://127.0.0.1/", FetchFailure::kAddress, false},
        {"http://bad host/", FetchFailure::kNameNotResolved, false},
        {loopback + std::to_string(test::UnusedLoopbackPort()) + "/",
         FetchFailure::kConnectionRefused, false},
        {loopback + std::to_string(dead.port()) + "/", FetchFailure::kConnectTimeout, false},
        {"https://127.0.0.1:" + std::to_string(server_.port()) + "/", FetchFailure::kTls, false},
        {server_.Url("/garbage"), FetchFailure::kNoResponse, false},
        {server_.Url("/closed"), FetchFailure::kCutShort, true},
        {server_.Url("/stalled"), FetchFailure::kStalled, true, 300ms},
        {server_.Url("/trickle"), FetchFailure::kTimeLimit, true, kLong, 600ms},
        {server_.Url("/large"), FetchFailure::kSizeLimit, true},
        {server_.Url("/loop"), FetchFailure::kTooManyRedirects, true},
        {server_.Url("/to-file"), FetchFailure::kRedirectScheme, false},
        {server_.Url("/to-nowhere"), FetchFailure::kRedirectTarget, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        HttpFetchParams p;
        p.url = c.url;
        options.stallTimeout = c.stall;
        options.totalTimeout = c.total;
        EXPECT_EQ(!HttpFetch(p, options).empty(), c.gotPart);
        EXPECT_EQ(p.failure, c.failure);
        EXPECT_EQ(FetchFailureText(p.failure, options).empty(), c.failure == FetchFailure::kNone);
    }
    EXPECT_EQ(server_.Requests().size(), 13u) << "the loop's first and 3 redirects, 9 others";

    // The words name the limits at work.
    const FetchOptions defaults;
    EXPECT_EQ(FetchFailureText(FetchFailure::kSizeLimit, defaults), "size limit reached (32 MiB)");
    EXPECT_EQ(FetchFailureText(FetchFailure::kTimeLimit, defaults), "time limit (120 s in all)");
    EXPECT_EQ(FetchFailureText(FetchFailure::kStalled, defaults),
              "time limit (60 s without a byte)");
    EXPECT_EQ(FetchFailureText(FetchFailure::kTooManyRedirects, defaults),
              "too many redirects (more than 20)");
}

TEST_F(HttpFetchTest, StopEndsAStalledTransferWithinASecond) {
    routes_.Set("/stalled", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst", true});
    std::atomic<bool> stop = false;
    FetchOptions options;  // the 60 s time-outs: only the stop can end this
    options.stopRequested = [&] { return stop.load(); };
    HttpFetchParams p;
    p.url = server_.Url("/stalled");
    auto body = std::async(std::launch::async, [&] { return HttpFetch(p, options); });
    ASSERT_TRUE(server_.WaitForReplies(1, kWait));
    const auto stoppedAt = std::chrono::steady_clock::now();
    stop = true;
    ASSERT_EQ(body.wait_for(kWait), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, 1s);
    const std::string got = body.get();
    EXPECT_TRUE(std::string("first").starts_with(got)) << got;
}

// A name lookup that hangs: a stop, and the connect time-out, still end the call
// within a second instead of waiting for the system resolver to give up.
TEST(HttpFetch, StopAndConnectTimeOutDoNotWaitForAHangingLookup) {
    const std::string url = std::string("http://") + test::kHangingHost + "/";
    std::atomic<bool> stop = false;
    FetchOptions stopped;
    stopped.stopRequested = [&] { return stop.load(); };
    FetchOptions timedOut;
    timedOut.connectTimeout = 300ms;
    for (FetchOptions* options : {&stopped, &timedOut}) {
        SCOPED_TRACE(options == &stopped ? "stop" : "connect time-out");
        HttpFetchParams p;
        p.url = url;
        auto body = std::async(std::launch::async, [&] { return HttpFetch(p, *options); });
        std::this_thread::sleep_for(300ms);  // the lookup is under way
        const auto stoppedAt = std::chrono::steady_clock::now();
        stop = true;
        ASSERT_EQ(body.wait_for(kWait), std::future_status::ready);
        EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, 1s);
        EXPECT_EQ(body.get(), "");
    }
    test::ReleaseHangingLookups();
}

TEST_F(HttpFetchTest, BlanksAroundTheAddressAreNotPartOfIt) {
    routes_.Set("/x", {SimpleResponse("200 OK", "page")});
    for (const std::string& blank :
         {std::string(" "), std::string("\xA1\xA1"), std::string("  \xA1\xA1 ")}) {
        HttpFetchParams p;
        p.url = blank + server_.Url("/x") + blank;
        EXPECT_EQ(HttpFetch(p), "page");
        EXPECT_NE(p.headers.find("Referer: " + server_.Url("/x") + "\r\n"), std::string::npos);
    }
    EXPECT_EQ(server_.Requests().size(), 3u);
}

// A redirect whose target cannot be requested is the answer, like a redirect
// loop's last step.
TEST_F(HttpFetchTest, RedirectThatCannotBeFollowedIsTheAnswer) {
    for (const char* location : {"http://user@127.0.0.1/", "http://a b/", "ftp://127.0.0.1/"}) {
        SCOPED_TRACE(location);
        routes_.Set("/moved", {SimpleResponse("302 Found", "moved here",
                                              std::string("Location: ") + location + "\r\n")});
        HttpFetchParams p;
        p.url = server_.Url("/moved");
        EXPECT_EQ(HttpFetch(p), "moved here");
        EXPECT_TRUE(p.responseHeaders.starts_with("HTTP/1.1 302 Found\r\n"));
    }
}

// libcurl refuses a single response header line of 100 KiB or more and ends the
// transfer; the body is then lost like that of any failed request. Below that
// limit the body arrives and the header counts as absent (too long to keep).
TEST_F(HttpFetchTest, HeaderLineAtLibcurlsLimit) {
    for (const auto& [length, body] :
         {std::pair<std::size_t, std::string>{100 * 1024 - 100, "body"}, {100 * 1024 + 100, ""}}) {
        SCOPED_TRACE(length);
        routes_.Set("/huge", {"HTTP/1.1 200 OK\r\nX-Pad: " + std::string(length, 'p') +
                              "\r\nContent-Length: 4\r\n\r\nbody"});
        HttpFetchParams p;
        p.url = server_.Url("/huge");
        EXPECT_EQ(HttpFetch(p), body);
        EXPECT_EQ(p.responseHeaders, kSpaces);
    }
}

TEST_F(HttpFetchTest, StopBeforeTheCallSendsNothing) {
    FetchOptions options;
    options.stopRequested = [] { return true; };
    HttpFetchParams p;
    p.url = server_.Url("/");
    p.cookie = "a=1";
    EXPECT_EQ(HttpFetch(p, options), "");
    EXPECT_EQ(p.headers, "");
    EXPECT_EQ(*p.cookie, "a=1");
    EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
}  // namespace vela
