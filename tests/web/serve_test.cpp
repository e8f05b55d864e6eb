// The web view over real loopback connections: routes, security rules,
// conditional requests, refused requests, and `vela-cli serve` as users start it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/board_page.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_database.h"
#include "web/access_rules.h"
#include "web/database_identity.h"
#include "web/feed_time.h"
#include "web/http_server.h"
#include "web/web_site.h"

namespace vela {
namespace {

const std::string kCli = VELA_CLI;

// A connection to 127.0.0.1:`port` from the loopback address `from`; -1 when
// it cannot be made.
int Connect(int port, const char* from = "127.0.0.1") {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &source.sin_addr);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends `bytes` to 127.0.0.1:`port` and reads until the server closes.
std::string Exchange(int port, const std::string& bytes, const char* from = "127.0.0.1") {
    const int fd = Connect(port, from);
    std::string reply;
    if (fd >= 0) {
        [[maybe_unused]] ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
        ::close(fd);
    }
    return reply;
}

// Whether the server has closed the connection: it reads as ended.
bool ClosedByServer(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Waits for `condition` with a deadline; its last answer.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Reply {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string Header(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

Reply ParseReply(const std::string& raw) {
    Reply reply;
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.size() < 12 || end == std::string::npos) return reply;
    reply.status = std::atoi(raw.substr(9, 3).c_str());
    std::istringstream lines(raw.substr(0, end));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r')) value.pop_back();
        reply.headers[name] = value;
    }
    reply.body = raw.substr(end + 4);
    return reply;
}

Reply Request(int port, const std::string& target, const std::string& headers = "",
              const std::string& method = "GET", const std::string& host = "127.0.0.1") {
    return ParseReply(Exchange(port, method + " " + target + " HTTP/1.1\r\nHost: " + host +
                                         "\r\nConnection: close\r\n" + headers + "\r\n"));
}

// A database of two schemes and a few articles, served on a loopback port.
class ServeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        ASSERT_TRUE(db.ExecSql("insert into rule(id,name,url,isdo) values(3,'" +
                               SqlQuote(Gbk("论坛")) + "','http://bbs.example/','1')"));
        ASSERT_TRUE(db.ExecSql("insert into rule(id,name,url,isdo) values(4,'b','x','0')"));
        for (int i = 1; i <= 3; ++i) AddArticle(3, "t" + std::to_string(i));
        AddArticle(4, "other");
    }
    void AddArticle(int scheme, const std::string& title, const std::string& url = "http://a/") {
        ASSERT_TRUE(db.ExecSql(
            "insert into info(planname,planid,title,url,other,addtime,issoucang) values('n','" +
            std::to_string(scheme) + "','" + SqlQuote(title) + "','" + SqlQuote(url) +
            "','','2024-5-6 7:8 9','1')"));
    }
    // Starts the site with `token` on a free loopback port, its clock at `now`.
    void Serve(const std::string& token = "", ServerLimits limits = {},
               const std::string& address = "127.0.0.1") {
        site = std::make_unique<WebSite>(
            reader, board,
            SiteSettings{token, PathIdentity(file.path()), address, [this] { return now.load(); }});
        server = std::make_unique<HttpServer>(
            [this](const WebRequest& request) {
                ++answering;
                return site->Answer(request);
            },
            limits, [this](const WebRequest& request) { return site->AnswerAtOnce(request); });
        std::string error;
        ASSERT_TRUE(server->Listen(address, 0, error)) << error;
        server->Start(2);
        port = server->Port();
    }

    test::TestDatabaseFile file;
    Database db;
    ReadConnections reader{file.path()};
    CheckBoard board;
    std::unique_ptr<WebSite> site;
    std::unique_ptr<HttpServer> server;
    int port = 0;
    std::atomic<std::time_t> now{std::time(nullptr)};
    std::atomic<int> answering{0};  // requests that reached the workers
};

TEST_F(ServeTest, RoutesAnswerWithTheirTypesAndSecurityHeaders) {
    Serve();
    const struct {
        std::string method, target;
        int status;
        std::string type;  // how the content type starts
    } cases[] = {
        {"GET", "/", 200, "text/html"},
        {"GET", "/?view=favourites&scheme=3&q=t&before=3", 200, "text/html"},
        {"GET", "/schemes", 200, "text/html"},
        {"GET", "/style.css", 200, "text/css"},
        {"GET", "/feed.atom", 200, "application/atom+xml"},
        {"GET", "/favourites.atom", 200, "application/atom+xml"},
        {"GET", "/schemes/3/feed.atom", 200, "application/atom+xml"},
        {"GET", "/api/articles?scheme=3&since=1&limit=1", 200, "application/json"},
        {"GET", "/schemes/99/feed.atom", 404, "text/plain"},
        {"GET", "/schemes/x/feed.atom", 404, "text/plain"},
        {"GET", "/api/articles?limit=many", 400, "text/plain"},
        {"GET", "/?q=%00%27%22%3C%E5%AE", 200, "text/html"},
        {"GET", "/?scheme=1%20or%201", 400, "text/plain"},
        {"GET", "/vela.sdb", 404, "text/plain"},
        {"GET", "/../vela.sdb", 404, "text/plain"},
        {"GET", "/style.css/../../etc/passwd", 404, "text/plain"},
        {"POST", "/", 405, "text/plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.target);
        const Reply reply = Request(port, c.target, "", c.method);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.Header("content-type").substr(0, c.type.size()), c.type);
        EXPECT_EQ(reply.Header("content-security-policy"), kContentSecurityPolicy);
        EXPECT_EQ(reply.Header("x-content-type-options"), "nosniff");
        EXPECT_TRUE(ParseHttpDate(reply.Header("date"))) << reply.Header("date");
    }
    // The rows of one scheme after an id, oldest first.
    const Reply api = Request(port, "/api/articles?scheme=3&since=1&limit=5");
    const auto json = nlohmann::json::parse(api.body, nullptr, false);
    ASSERT_TRUE(json.is_object()) << api.body;
    ASSERT_EQ(json["articles"].size(), 2u);
    EXPECT_EQ(json["articles"][0]["id"], 2);
    EXPECT_EQ(json["articles"][1]["title"], "t3");
    EXPECT_EQ(json["articles"][1]["scheme_id"], "3");
}

TEST_F(ServeTest, AnUnchangedFeedIsNotModified) {
    Serve();
    // A feed has a date once the second in which the site saw the database as it
    // is has passed.
    EXPECT_EQ(Request(port, "/feed.atom").Header("last-modified"), "");
    now += 10;
    const Reply first = Request(port, "/feed.atom");
    ASSERT_EQ(first.status, 200);
    const std::string etag = first.Header("etag");
    const std::string lastModified = first.Header("last-modified");
    ASSERT_NE(lastModified, "");
    for (const std::string& condition :
         {"If-None-Match: " + etag, "If-None-Match: \"other\", W/" + etag,
          "If-Modified-Since: " + lastModified}) {
        SCOPED_TRACE(condition);
        const Reply again = Request(port, "/feed.atom", condition + "\r\n");
        EXPECT_EQ(again.status, 304);
        EXPECT_EQ(again.body, "");
        EXPECT_EQ(again.Header("etag"), etag);
    }
    // HEAD: the length of the body, and none.
    const std::string head =
        Exchange(port, "HEAD /feed.atom HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ParseReply(head).body, "");
    EXPECT_NE(head.find("Content-Length: " + std::to_string(first.body.size())), std::string::npos)
        << head;

    AddArticle(3, "t4");
    const Reply changed = Request(port, "/feed.atom", "If-None-Match: " + etag + "\r\n");
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.Header("etag"), etag);
    EXPECT_NE(changed.body.find("t4"), std::string::npos);
}

TEST_F(ServeTest, AFeedChangedWithoutANewArticleIsNotTakenForUnchanged) {
    Serve();
    const struct {
        std::string target, change;
    } cases[] = {
        {"/favourites.atom", "update info set issoucang='0' where id=3"},
        {"/schemes/3/feed.atom", "update rule set name='renamed' where id=3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        Request(port, c.target);
        now += 10;
        const Reply first = Request(port, c.target);
        const std::string lastModified = first.Header("last-modified");
        ASSERT_NE(lastModified, "");
        // A date ahead of the server's clock was not given by it.
        const std::string future = "If-Modified-Since: " + HttpDate(now + 3600) + "\r\n";
        EXPECT_EQ(Request(port, c.target, future).status, 200);

        ASSERT_TRUE(db.ExecSql(c.change));
        now += 10;
        const Reply again = Request(port, c.target, "If-Modified-Since: " + lastModified + "\r\n");
        EXPECT_EQ(again.status, 200);
        EXPECT_NE(again.body, first.body);
    }
}

// Without a token the machine's own names are the only guard against a page of
// another site whose name was made to resolve to 127.0.0.1.
TEST_F(ServeTest, WithoutATokenOnlyThisMachinesNamesAreAnswered) {
    Serve();
    const std::string p = std::to_string(port);
    const struct {
        std::string target, host;
        int status;
    } cases[] = {
        {"/", "127.0.0.1", 200},
        {"/", "127.0.0.1:" + p, 200},
        {"/", "localhost", 200},
        {"/", "LocalHost:" + p, 200},
        {"/", "localhost.", 200},
        {"/", "vela.localhost:" + p, 200},
        {"/", "a.b.localhost", 200},
        {"/", "[::1]", 200},
        {"/", "[::1]:" + p, 200},
        {"/", "127.0.0.2:" + p, 200},
        {"/", "evil.example", 421},
        {"/api/articles", "evil.example:" + p, 421},
        {"/feed.atom", "localhost.evil.example", 421},
        {"/", "evillocalhost", 421},
        {"/", "127.0.0.1.evil.example", 421},
        {"/", "192.168.1.2:" + p, 421},
        {"/", "2130706433", 421},
        {"/", "[127.0.0.1]", 421},
        {"/", "[::1", 421},
        {"/", "::1", 421},
        {"/", "localhost:http", 421},
        {"/", "", 421},
        {"/style.css", "evil.example", 421},
        // A request in absolute form names its host in the target.
        {"http://127.0.0.1/feed.atom", "evil.example", 200},
        {"HTTP://localhost:" + p, "evil.example", 200},
        {"http://evil.example/feed.atom", "127.0.0.1", 421},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + " Host: " + c.host);
        const Reply reply = Request(port, c.target, "", "GET", c.host);
        EXPECT_EQ(reply.status, c.status);
        if (c.status == 421) {
            EXPECT_EQ(reply.body.find("t1"), std::string::npos);
        }
    }
    // An absolute-form request is answered as its path.
    const Reply absolute = Request(port, "http://localhost:" + p + "/feed.atom");
    EXPECT_EQ(absolute.Header("content-type").substr(0, 20), "application/atom+xml");
    EXPECT_NE(absolute.body.find("href=\"http://localhost:" + p + "/feed.atom\""),
              std::string::npos)
        << absolute.body;
}

// A search that waits for another program's write lock holds a worker, never the
// threads that answer the connections.
TEST_F(ServeTest, TheStyleSheetAnswersWhileSearchesWaitForAWriter) {
    Serve();
    ASSERT_TRUE(db.ExecSql("begin exclusive"));
    std::vector<std::thread> searches;
    std::vector<int> statuses(3);
    for (int i = 0; i < 3; ++i) {
        searches.emplace_back(
            [&, i] { statuses[i] = Request(port, "/?q=t" + std::to_string(i)).status; });
    }
    EXPECT_TRUE(WaitFor([&] { return answering.load() >= 2; }));
    const auto start = std::chrono::steady_clock::now();
    const Reply css = Request(port, "/style.css");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(db.ExecSql("rollback"));
    for (auto& search : searches) search.join();
    EXPECT_EQ(css.status, 200);
    EXPECT_LT(took, std::chrono::milliseconds(100));
    for (const int status : statuses) EXPECT_EQ(status, 200);
}

// Requests beyond the workers and their queue are told at once to come back.
TEST_F(ServeTest, RequestsPastTheQueueAreAnsweredAtOnce) {
    ServerLimits limits;
    limits.workers = 1;
    limits.queuedRequests = 1;
    Serve("", limits);
    ASSERT_TRUE(db.ExecSql("begin exclusive"));
    std::vector<std::thread> searches;
    std::vector<std::atomic<int>> statuses(3);
    const auto search = [&](int i) {
        searches.emplace_back(
            [&, i] { statuses[i] = Request(port, "/?q=t" + std::to_string(i)).status; });
    };
    search(0);
    EXPECT_TRUE(WaitFor([&] { return answering.load() >= 1; }));
    search(1);
    search(2);
    // One waits in the queue, the other is refused while the writer still holds on.
    EXPECT_TRUE(WaitFor([&] { return statuses[1] == 503 || statuses[2] == 503; }));
    ASSERT_TRUE(db.ExecSql("rollback"));
    for (auto& thread : searches) thread.join();
    EXPECT_EQ(statuses[0], 200);
    EXPECT_EQ(statuses[1] + statuses[2], 200 + 503);
}

// Out of descriptors, the server waits before it accepts again instead of
// spinning, and takes the connection once it can.
TEST_F(ServeTest, AcceptingWithoutDescriptorsDoesNotSpin) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks open a pipe to see whether memory can be read; with
    // no descriptor left they take every object for a bad one.
    GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
    Serve();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The lowest free descriptor as the limit: no new one can be made.
    const int lowest = ::dup(0);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    // The processor time the server's threads take while the connection waits.
    const auto cpu = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec * 1'000'000L + usage.ru_utime.tv_usec +
               usage.ru_stime.tv_sec * 1'000'000L + usage.ru_stime.tv_usec;
    };
    const long before = cpu();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long used = cpu() - before;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(connected);
    EXPECT_LT(used, 50'000) << "microseconds of processor time in 0.5 s";
    const std::string request =
        "GET /style.css HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(::send(client, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(client, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
    ::close(client);
    EXPECT_EQ(ParseReply(reply).status, 200);
}

// Even with every thread busy, listening ends before Stop() returns.
TEST_F(ServeTest, AStoppedServerRefusesNewConnections) {
    Serve();
    ASSERT_TRUE(db.ExecSql("begin exclusive"));
    std::vector<std::thread> searches;
    for (int i = 0; i < 2; ++i) searches.emplace_back([&] { Request(port, "/?q=t"); });
    EXPECT_TRUE(WaitFor([&] { return answering.load() >= 2; }));
    server->Stop();
    const int fd = Connect(port);
    EXPECT_EQ(fd, -1);
    if (fd >= 0) ::close(fd);
    ASSERT_TRUE(db.ExecSql("rollback"));
    for (auto& search : searches) search.join();
}

// Idle connections of one client, or of many, do not keep the others out.
TEST_F(ServeTest, IdleConnectionsDoNotLockOthersOut) {
    ServerLimits limits;
    limits.connections = 8;
    limits.connectionsPerClient = 2;
    limits.idleSeconds = 60;
    limits.busyIdleSeconds = 1;
    Serve("", limits);
    std::vector<int> idle;
    const auto open = [&](const char* from, int count) {
        for (int i = 0; i < count; ++i) {
            const int fd = Connect(port, from);
            ASSERT_GE(fd, 0) << from;
            idle.push_back(fd);
        }
    };
    const auto closedCount = [&] {
        int closed = 0;
        for (const int fd : idle) closed += ClosedByServer(fd);
        return closed;
    };
    // One client: what passes its share is closed at once.
    open("127.0.0.1", 8);
    EXPECT_TRUE(WaitFor([&] { return closedCount() == 6; }, std::chrono::seconds(10)))
        << closedCount();
    EXPECT_EQ(Request(port, "/", "", "GET").status, 0);  // 127.0.0.1 is at its share
    EXPECT_EQ(ParseReply(Exchange(port,
                                  "GET / HTTP/1.1\r\nHost: localhost\r\n"
                                  "Connection: close\r\n\r\n",
                                  "127.0.0.2"))
                  .status,
              200);
    // Many clients fill every place: the idle ones are closed soon.
    open("127.0.0.2", 2);
    open("127.0.0.3", 2);
    open("127.0.0.4", 2);
    EXPECT_TRUE(WaitFor([&] {
        return ParseReply(Exchange(port,
                                   "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n",
                                   "127.0.0.5"))
                   .status == 200;
    }));
    for (const int fd : idle) ::close(fd);
}

TEST_F(ServeTest, OversizedAndMalformedRequestsAreRefused) {
    Serve();
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: h\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n", 431},
        {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello", 413},
        {"HELLO\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        EXPECT_EQ(ParseReply(Exchange(port, c.bytes)).status, c.status);
    }
    EXPECT_EQ(Request(port, "/").status, 200);
}

TEST_F(ServeTest, ATokenIsAskedOfEveryRequestButTheStyleSheet) {
    Serve("s3cret");
    const struct {
        std::string target, headers;
        int status;
    } cases[] = {
        {"/", "", 401},
        {"/feed.atom", "Authorization: Bearer wrong\r\n", 401},
        {"/feed.atom", "Authorization: Bearer s3cre\r\n", 401},
        {"/feed.atom", "Authorization: Bearer s3cret-and-more\r\n", 401},
        {"/feed.atom", "Authorization: Basic s3cret\r\n", 401},
        {"/feed.atom?token=s3cre", "", 401},
        {"/feed.atom", "Authorization: Bearer s3cret\r\n", 200},
        {"/feed.atom", "Authorization: bearer s3cret\r\n", 200},
        {"/feed.atom", "Authorization: BEARER  s3cret\r\n", 200},
        {"/feed.atom", "Authorization: Bearers3cret\r\n", 401},
        {"/feed.atom?token=s3cret", "", 200},
        {"/api/articles?token=s3cret", "", 200},
        {"/nothing?token=s3cret", "", 404},
        {"/style.css", "", 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + " " + c.headers);
        EXPECT_EQ(Request(port, c.target, c.headers).status, c.status);
    }
    // With a token, another name is answered: the token is the guard.
    EXPECT_EQ(Request(port, "/feed.atom?token=s3cret", "", "GET", "vela.example").status, 200);
    // A browser that came with the token in the address keeps it in every link.
    const Reply page = Request(port, "/?token=s3cret");
    EXPECT_NE(page.body.find("href=\"/schemes?token=s3cret\""), std::string::npos);
    EXPECT_NE(page.body.find("name=\"token\" value=\"s3cret\""), std::string::npos);
}

TEST(ServeRules, ListeningAddressesAndTokens) {
    const struct {
        const char* text;
        bool valid, loopback;
    } addresses[] = {
        {"127.0.0.1:8571", true, true},       {"127.3.4.5:80", true, true},
        {"[::1]:8571", true, true},           {"localhost:8571", true, true},
        {"[::ffff:127.0.0.1]:1", true, true}, {"0.0.0.0:8571", true, false},
        {"[::]:8571", true, false},           {"192.168.1.2:8571", true, false},
        {"::1:8571", false, false},           {"127.0.0.1", false, false},
        {"127.0.0.1:65536", false, false},    {"example.com:80", false, false},
        {"127.0.0.1:-1", false, false},
    };
    for (const auto& a : addresses) {
        SCOPED_TRACE(a.text);
        ListenAddress parsed;
        EXPECT_EQ(ParseListenAddress(a.text, parsed), a.valid);
        if (a.valid) {
            EXPECT_EQ(parsed.loopback, a.loopback);
        }
    }
    EXPECT_TRUE(TokensMatch("abc", "abc"));
    for (const char* given : {"", "ab", "abd", "abcd", "ABC"})
        EXPECT_FALSE(TokensMatch(given, "abc"));
    EXPECT_FALSE(TokensMatch("", ""));

    // Another machine may only come in with a token.
    test::TestDatabaseFile file;
    for (const char* listen : {"0.0.0.0:0", "[::]:0"}) {
        const test::ChildOutcome refused =
            test::RunChild(kCli, {"serve", "--db", file.path(), "--listen", listen}, file.dir());
        EXPECT_EQ(refused.exitCode, 2) << listen;
        EXPECT_NE(refused.err.find("--token"), std::string::npos) << refused.err;
    }
}

// The address is named as --listen takes it: an IPv6 one in brackets.
TEST(ServeCommand, AnAddressInUseIsNamedWithItsBrackets) {
    const int taken = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t size = sizeof address;
    if (taken < 0 || ::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(taken, 1) != 0 ||
        ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (taken >= 0) ::close(taken);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    const std::string listen = "[::1]:" + std::to_string(ntohs(address.sin6_port));
    test::TestDatabaseFile file;
    const test::ChildOutcome refused =
        test::RunChild(kCli, {"serve", "--db", file.path(), "--listen", listen}, file.dir());
    ::close(taken);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("cannot listen on " + listen + ":"), std::string::npos)
        << refused.err;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// `serve --every`: the runner's cycle stores new articles while the page shows them.
TEST(ServeCommand, EveryStoresNewArticlesWhileServing) {
    test::TestDatabaseFile file;
    test::LoopbackHttpServer pages([](const std::string&) {
        return test::CannedReply{test::SimpleResponse("200 OK", test::BoardPage({2, 1}))};
    });
    {
        Database db;
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        ASSERT_TRUE(db.ExecSql(
            "insert into rule(code,name,url,cookie,ua,arttile,buquan,regular,before,after,tindex,"
            "uindex,oindex,isdo,lastid,type) values('1','board','" +
            pages.Url("/board") +
            "','','TestAgent','','http://bbs.example[2]','<li id=(\\d+)><a href=\"(.*?)\">"
            "(.*?)</a>','<ul>','</ul>','3','1','1','1','0','0')"));
    }
    test::ChildProcess serve(
        kCli, {"serve", "--db", file.path(), "--listen", "127.0.0.1:0", "--every", "10"},
        file.dir(), "serve");
    ASSERT_TRUE(serve.started());
    int port = 0;
    std::string apiBody;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string err = FileText(file.dir() + "/serve.err");
        const std::size_t at = err.find("serving http://127.0.0.1:");
        if (port == 0 && at != std::string::npos) port = std::atoi(err.c_str() + at + 25);
        if (port != 0) {
            apiBody = Request(port, "/api/articles").body;
            if (apiBody.find("Title 2") != std::string::npos &&
                Request(port, "/schemes").body.find("上次检查结束") != std::string::npos) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(port, 0);
    const auto json = nlohmann::json::parse(apiBody, nullptr, false);
    ASSERT_TRUE(json.is_object()) << apiBody;
    ASSERT_EQ(json["articles"].size(), 2u);
    EXPECT_EQ(json["articles"][0]["link"], "http://bbs.example/t/2");
    const std::string page = Request(port, "/").body;
    EXPECT_NE(page.find(">Title 1</a>"), std::string::npos);
    EXPECT_NE(page.find("上次检查结束："), std::string::npos);
    const std::string schemes = Request(port, "/schemes").body;
    EXPECT_EQ(schemes.find("<td class=\"time\" data-label=\"上次检查\">—"), std::string::npos)
        << schemes;

    serve.Signal(SIGTERM);
    const test::ChildOutcome ended = serve.Wait(std::chrono::seconds(10));
    EXPECT_EQ(ended.signal, SIGTERM) << ended.err;
    EXPECT_LT(ended.ran, std::chrono::seconds(25));
}

}  // namespace
}  // namespace vela
