// Every HTTP channel against a loopback server that records the requests: the
// bytes each service receives, the signatures, and the outbox when a channel
// refuses.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>

#include "notify/channel_secrets.h"
#include "notify/deliver.h"
#include "notify/outbox.h"
#include "notify/request_send.h"
#include "notify/service_table.h"
#include "tests/support/loopback_http_server.h"

namespace vela {
namespace {

namespace fs = std::filesystem;
using test::CannedReply;
using test::LoopbackHttpServer;
using test::SimpleResponse;

constexpr int64_t kNowMs = 1700000000123;

std::vector<NotifyArticle> Recorded() {
    return {
        {"1", "论坛", "第一篇", "http://a.example/1", "其他", "2026-12-11 2:00 01"},
        {"2", "新闻", "Tom's <b>x</b> & [y](http://evil) @all", "http://b.example/2?q=(1)", "",
         "2026-12-11 2:00 02"},
    };
}

std::string Body(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

bool HasHeader(const std::string& request, const std::string& line) {
    return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

// The signature as computed by Python's own hmac module.
std::string PythonSignature(const std::string& key, const std::string& message) {
    const std::string command =
        "/usr/bin/python3 -c 'import base64,hashlib,hmac,sys; "
        "print(base64.b64encode(hmac.new(sys.argv[1].encode(), sys.argv[2].encode(), "
        "hashlib.sha256).digest()).decode())' '" +
        key + "' '" + message + "'";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string Percent(const std::string& base64) {
    std::string out;
    for (char c : base64) {
        if (c == '+')
            out += "%2B";
        else if (c == '/')
            out += "%2F";
        else if (c == '=')
            out += "%3D";
        else
            out += c;
    }
    return out;
}

class NotifyChannels : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vela_notify_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        context_.nowMs = [this] { return now_; };
        context_.send.timeout = std::chrono::seconds(5);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void PointAt(const LoopbackHttpServer& server) {
        const std::string base = server.Url("");
        context_.endpoints = {base, base, base, base, base, base};
    }

    std::size_t OutboxSize() {
        std::vector<std::string> broken;
        return Outbox(dir_ / "outbox").Pending(broken).size();
    }

    fs::path dir_;
    int64_t now_ = kNowMs;
    DeliveryContext context_;
};

TEST_F(NotifyChannels, EachServiceReceivesItsRequest) {
    LoopbackHttpServer server([](const std::string& request) {
        const std::string target = test::RequestTarget(request);
        if (target.find("/sendMessage") != std::string::npos) {
            return CannedReply{SimpleResponse("200 OK", R"({"ok":true,"result":{}})")};
        }
        if (target.find("/cgi-bin/") == 0 || target.find("/robot/") == 0) {
            return CannedReply{SimpleResponse("200 OK", R"({"errcode":0,"errmsg":"ok"})")};
        }
        if (target.find("/open-apis/") == 0) {
            return CannedReply{SimpleResponse("200 OK", R"({"code":0,"msg":"success"})")};
        }
        if (target.find("/api/webhooks/") == 0)
            return CannedReply{SimpleResponse("204 No Content", "")};
        return CannedReply{SimpleResponse("200 OK", "{}")};
    });
    PointAt(server);
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    const std::string dingSign =
        Percent(PythonSignature("SEC1", std::to_string(kNowMs) + "\nSEC1"));
    const std::string feishuSign = PythonSignature(std::to_string(kNowMs / 1000) + "\nS2", "");
    ASSERT_FALSE(dingSign.empty());
    ASSERT_FALSE(feishuSign.empty());

    struct Case {
        std::string channel;
        std::string target;
        std::string body;
        std::string header;  // one more header line the request must carry
    };
    const Case cases[] = {
        {"json://u:p@" + host + "/hook", "/hook",
         R"J({"title":"发现 2 篇新文章","body":"【新闻】\nTom's <b>x</b> & [y](http://evil) @all\nhttp://b.example/2?q=(1)\n\n【论坛】\n第一篇\nhttp://a.example/1","articles":[{"scheme":"新闻","title":"Tom's <b>x</b> & [y](http://evil) @all","link":"http://b.example/2?q=(1)","other":"","time":"2026-12-11 2:00 02"},{"scheme":"论坛","title":"第一篇","link":"http://a.example/1","other":"其他","time":"2026-12-11 2:00 01"}]})J",
         "Authorization: Basic dTpw"},
        {"ntfy://" + host + "/alerts", "/",
         R"J({"topic":"alerts","title":"发现 2 篇新文章","message":"【新闻】\nTom's <b>x</b> & [y](http://evil) @all\nhttp://b.example/2?q=(1)\n\n【论坛】\n第一篇\nhttp://a.example/1","click":"http://b.example/2?q=%281%29"})J",
         "Content-Type: application/json; charset=utf-8"},
        {"tgram://123:ABC/42", "/bot123:ABC/sendMessage",
         R"J({"chat_id":"42","text":"<b>发现 2 篇新文章</b>\n<b>【新闻】</b>\n<a href=\"http://b.example/2?q=%281%29\">Tom&#39;s &lt;b&gt;x&lt;/b&gt; &amp; [y](http://evil) @all</a>\n\n<b>【论坛】</b>\n<a href=\"http://a.example/1\">第一篇</a>","parse_mode":"HTML","disable_web_page_preview":true})J",
         ""},
        {"wecombot://thekey", "/cgi-bin/webhook/send?key=thekey",
         R"J({"msgtype":"markdown","markdown":{"content":"**发现 2 篇新文章**\n**【新闻】**\n[Tom's ＜b＞x＜/b＞ ＆ ［y］（http://evil） ＠all](http://b.example/2?q=%281%29)\n\n**【论坛】**\n[第一篇](http://a.example/1)"}})J",
         ""},
        {"dingtalk://tok?secret=SEC1",
         "/robot/send?access_token=tok&timestamp=" + std::to_string(kNowMs) + "&sign=" + dingSign,
         R"J({"msgtype":"markdown","markdown":{"title":"发现 2 篇新文章","text":"**发现 2 篇新文章**\n\n**【新闻】**\n\n[Tom's ＜b＞x＜/b＞ ＆ ［y］（http://evil） ＠all](http://b.example/2?q=%281%29)\n\n\n\n**【论坛】**\n\n[第一篇](http://a.example/1)"}})J",
         ""},
        {"feishu://hooktok?secret=S2", "/open-apis/bot/v2/hook/hooktok",
         R"J({"timestamp":")J" + std::to_string(kNowMs / 1000) + R"J(","sign":")J" + feishuSign +
             R"J(","msg_type":"text","content":{"text":"发现 2 篇新文章\n【新闻】\nTom's ＜b＞x＜/b＞ ＆ [y](http://evil) @all\nhttp://b.example/2?q=(1)\n\n【论坛】\n第一篇\nhttp://a.example/1"}})J",
         ""},
        {"discord://1234/tok", "/api/webhooks/1234/tok",
         R"J({"content":"**发现 2 篇新文章**\n**【新闻】**\nTom's \\<b\\>x\\</b\\> & \\[y\\]\\(http\\://evil\\) \\@all\n<http://b.example/2?q=%281%29>\n\n**【论坛】**\n第一篇\n<http://a.example/1>","allowed_mentions":{"parse":[]}})J",
         ""},
    };
    Outbox outbox((dir_ / "outbox").string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        const std::size_t before = server.Requests().size();
        const NotifyReport report = DeliverCycle({c.channel}, Recorded(), outbox, context_);
        EXPECT_FALSE(report.failed);
        EXPECT_TRUE(report.errors.empty()) << report.errors.front();
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        const std::string& request = requests.back();
        EXPECT_EQ(request.rfind("POST ", 0), 0u);
        EXPECT_EQ(test::RequestTarget(request), c.target);
        EXPECT_EQ(Body(request), c.body);
        EXPECT_TRUE(HasHeader(request, "Content-Type: application/json; charset=utf-8"));
        if (!c.header.empty()) {
            EXPECT_TRUE(HasHeader(request, c.header)) << request;
        }
        EXPECT_EQ(OutboxSize(), 0u);
    }
}

// A robot that answers 200 with an error code has not taken the message.
TEST_F(NotifyChannels, RefusalKeepsTheMessageAndTheNextRunDeliversItOnce) {
    std::mutex mutex;
    int refuse = 0;  // how many of the next requests are refused
    LoopbackHttpServer server([&](const std::string&) {
        std::lock_guard lock(mutex);
        if (refuse > 0) {
            --refuse;
            return CannedReply{SimpleResponse("200 OK", R"({"errcode":310000,"errmsg":"sign"})")};
        }
        return CannedReply{SimpleResponse("200 OK", R"({"errcode":0})")};
    });
    PointAt(server);
    Outbox outbox((dir_ / "outbox").string());
    refuse = 1;
    NotifyReport report = DeliverCycle({"dingtalk://tok"}, Recorded(), outbox, context_);
    EXPECT_TRUE(report.failed);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_NE(report.errors[0].find("dingtalk://****"), std::string::npos) << report.errors[0];
    EXPECT_EQ(report.errors[0].find("tok"), std::string::npos) << report.errors[0];
    EXPECT_EQ(OutboxSize(), 1u);

    // The next cycle, with nothing new, delivers it; the one after sends nothing.
    report = DeliverCycle({"dingtalk://tok"}, {}, outbox, context_);
    EXPECT_FALSE(report.failed);
    EXPECT_EQ(report.delivered.size(), 1u);
    EXPECT_EQ(OutboxSize(), 0u);
    report = FlushOutbox(outbox, context_);
    EXPECT_TRUE(report.delivered.empty());
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Body(requests[0]), Body(requests[1]));
}

// A message split in parts: the parts the service took are not sent again.
TEST_F(NotifyChannels, APartlyDeliveredMessageResumesAfterItsLastTakenPart) {
    std::mutex mutex;
    int served = 0;
    LoopbackHttpServer server([&](const std::string&) {
        std::lock_guard lock(mutex);
        // The second request is refused, every other one taken.
        if (++served == 2) return CannedReply{SimpleResponse("502 Bad Gateway", "down")};
        return CannedReply{SimpleResponse("200 OK", R"({"ok":true})")};
    });
    PointAt(server);
    std::vector<NotifyArticle> many;
    for (int i = 0; i < 120; ++i) {
        many.push_back({"1", "论坛", "文章标题" + std::to_string(i) + std::string(40, 'x'),
                        "http://a.example/" + std::to_string(i), "", "t"});
    }
    Outbox outbox((dir_ / "outbox").string());
    NotifyReport report = DeliverCycle({"tgram://1:A/7"}, many, outbox, context_);
    EXPECT_TRUE(report.failed);
    EXPECT_NE(report.errors.at(0).find("HTTP status 502"), std::string::npos) << report.errors[0];
    ASSERT_EQ(server.Requests().size(), 2u);
    report = FlushOutbox(outbox, context_);
    EXPECT_FALSE(report.failed);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_GE(requests.size(), 4u);
    // The refused part once more, then the rest: every part taken exactly once.
    EXPECT_EQ(Body(requests[1]), Body(requests[2]));
    std::set<std::string> taken;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (i == 1) continue;
        EXPECT_TRUE(taken.insert(Body(requests[i])).second) << "sent twice: part " << i;
    }
    for (int i = 0; i < 120; ++i) {
        const std::string link = "http://a.example/" + std::to_string(i) + "\\\"";
        int found = 0;
        for (const std::string& body : taken) found += body.find(link) != std::string::npos;
        EXPECT_EQ(found, 1) << link;
    }
    EXPECT_EQ(OutboxSize(), 0u);
}

TEST_F(NotifyChannels, AMessageOlderThanADayIsGivenUpWithOneLine) {
    Outbox outbox((dir_ / "outbox").string());
    const int dead = test::UnusedLoopbackPort();
    const std::string channel = "json://127.0.0.1:" + std::to_string(dead) + "/x";
    NotifyReport report = DeliverCycle({channel}, Recorded(), outbox, context_);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(OutboxSize(), 1u);
    now_ += 24LL * 3600 * 1000 + 1;
    report = FlushOutbox(outbox, context_);
    EXPECT_TRUE(report.failed);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_NE(report.errors[0].find("gave up"), std::string::npos);
    EXPECT_EQ(OutboxSize(), 0u);
}

// A channel that never answers holds up only itself: the other is delivered
// while it waits out its time limit.
TEST_F(NotifyChannels, ADeadChannelDelaysNoOther) {
    LoopbackHttpServer server(
        [](const std::string&) { return CannedReply{SimpleResponse("200 OK", "{}")}; });
    test::DeadLoopbackPort dead;
    ASSERT_TRUE(dead.ok());
    context_.send.timeout = std::chrono::milliseconds(1500);
    Outbox outbox((dir_ / "outbox").string());
    const auto start = std::chrono::steady_clock::now();
    const NotifyReport report =
        DeliverCycle({"json://127.0.0.1:" + std::to_string(dead.port()) + "/a",
                      "json://127.0.0.1:" + std::to_string(server.port()) + "/b"},
                     Recorded(), outbox, context_);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.delivered.size(), 1u);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_LT(took, std::chrono::milliseconds(2900));
    EXPECT_EQ(OutboxSize(), 1u);
}

// A json:// channel posts to its path with its query, as written; a secret in the
// query is masked in what the channel's failure says.
TEST(JsonChannel, PostsWithTheQueryAndHidesItsSecret) {
    LoopbackHttpServer server([](const std::string& request) {
        // An answer that repeats the request line, as some servers' errors do.
        return CannedReply{SimpleResponse("403 Forbidden", request.substr(0, request.find('\r')))};
    });
    const std::string channel =
        "json://127.0.0.1:" + std::to_string(server.port()) + "/hook?key=abc123&to=a%2Fb&note=x y";
    ChannelUrl url;
    std::string error;
    ASSERT_TRUE(ParseChannelUrl(channel, url, error));
    ASSERT_TRUE(kJsonService.check(url, error)) << error;
    const ServiceEndpoints endpoints;
    const std::vector<ServiceRequest> requests =
        kJsonService.compose(url, TestMessage(), {endpoints, kNowMs});
    ASSERT_EQ(requests.size(), 1u);
    SendOptions options;
    options.timeout = std::chrono::seconds(10);
    const SendResult result = SendRequest(requests[0], options);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(test::RequestTarget(server.Requests()[0]), "/hook?key=abc123&to=a%2Fb&note=x%20y");
    EXPECT_FALSE(result.ok);
    const std::string shown = MaskedChannel(url) + ": " + HideSecrets(result.error, url);
    EXPECT_NE(shown.find("HTTP status 403"), std::string::npos) << shown;
    EXPECT_NE(shown.find("?key=****&to=a/b&note=x y"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("abc123"), std::string::npos) << shown;
}

}  // namespace
}  // namespace vela
