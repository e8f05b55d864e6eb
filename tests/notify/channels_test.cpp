// Every HTTP channel against a loopback server that records the requests: the
// bytes each service receives, the signatures, and the outbox when a channel
// refuses.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
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

// A title that tries every trick: quotes, a backslash, a script, control
// characters (C0, DEL and C1), markdown and mentions, an emoji. BEGIN and END,
// which no format changes, mark where it stands in a service's text.
const std::string kHostile =
    "BEGIN Tom's \"q\" \\ <script>alert(1)</script> *b* _i_ ~s~ `c` [y](http://evil) @all #h "
    "!x|y-z.+= &amp; a\x01"
    "b\x1f\tc\x7f\xC2\x85 😀 END";
// What a reader of a text-only format sees: each control character a blank.
const std::string kHostilePlain =
    "BEGIN Tom's \"q\" \\ <script>alert(1)</script> *b* _i_ ~s~ `c` [y](http://evil) @all #h "
    "!x|y-z.+= &amp; a b  c   😀 END";
// A forum link whose query must arrive whole.
const std::string kLink = "http://b.example/t?a=1&b=(2)";

std::vector<NotifyArticle> ShortCycle() {
    return {{"1", "论坛", "第一篇", "http://a.example/1", "", "2026-12-11 2:00 01"}};
}

std::vector<NotifyArticle> HostileCycle() {
    return {{"2", "新闻", kHostile, kLink, "", "2026-12-11 2:00 02"}};
}

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

// Base64 of the HMAC-SHA256, computed here with OpenSSL's own HMAC and base64,
// not with the code under test.
std::string IndependentSignature(const std::string& key, const std::string& message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
              &length)) {
        return {};
    }
    unsigned char text[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    const int size = EVP_EncodeBlock(text, digest, static_cast<int>(length));
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
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

// How a service's text carries a title.
enum class TitleFormat {
    Json,           // as it is: JSON's own escaping is all
    Plain,          // control characters as blanks
    Html,           // & < > " ' as entities
    RobotMarkdown,  // markdown's characters in their full-width forms
    TagText,        // < > & in their full-width forms
    Discord,        // a backslash before each markdown character
};

// The character of a full-width form U+FF01..U+FF5E at `at`, or 0.
char FromFullWidth(const std::string& text, std::size_t at) {
    if (at + 2 >= text.size() || static_cast<unsigned char>(text[at]) != 0xEF) return 0;
    const unsigned cp = 0xF000 | (static_cast<unsigned char>(text[at + 1]) & 0x3F) << 6 |
                        (static_cast<unsigned char>(text[at + 2]) & 0x3F);
    return cp >= 0xFF01 && cp <= 0xFF5E ? static_cast<char>(cp - 0xFF01 + 0x21) : 0;
}

// The title as the service's reader sees it, from its escaped form in `text`
// (BEGIN to END); a character the format would read as markup, found raw, is
// named in `problem`.
std::string ReadTitle(const std::string& text, TitleFormat format, std::string& problem) {
    const std::size_t begin = text.find("BEGIN");
    const std::size_t end = text.find("END", begin);
    if (begin == std::string::npos || end == std::string::npos) {
        problem = "no title in " + text;
        return {};
    }
    const std::string escaped = text.substr(begin, end + 3 - begin);
    const auto rawIn = [&](std::string_view marked) {
        const std::size_t at = escaped.find_first_of(marked);
        if (at != std::string::npos) problem = "raw '" + escaped.substr(at, 1) + "' in " + escaped;
    };
    std::string read;
    switch (format) {
        case TitleFormat::Json:
        case TitleFormat::Plain:
            return escaped;
        case TitleFormat::Html: {
            rawIn("<>\"'");
            static const std::pair<std::string_view, char> kEntities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}};
            for (std::size_t i = 0; i < escaped.size(); ++i) {
                if (escaped[i] != '&') {
                    read += escaped[i];
                    continue;
                }
                bool known = false;
                for (const auto& [entity, c] : kEntities) {
                    if (escaped.compare(i, entity.size(), entity) == 0) {
                        read += c;
                        i += entity.size() - 1;
                        known = true;
                        break;
                    }
                }
                if (!known) problem = "a bare '&' in " + escaped;
            }
            return read;
        }
        case TitleFormat::RobotMarkdown:
        case TitleFormat::TagText:
            rawIn(format == TitleFormat::TagText ? "<>&" : "\\`*_~[]()#<>@|!&");
            for (std::size_t i = 0; i < escaped.size(); ++i) {
                if (const char c = FromFullWidth(escaped, i)) {
                    read += c;
                    i += 2;
                } else {
                    read += escaped[i];
                }
            }
            return read;
        case TitleFormat::Discord: {
            static constexpr std::string_view kMarked = "\\*_~`|<>#-[]()@:!.+=";
            for (std::size_t i = 0; i < escaped.size(); ++i) {
                if (escaped[i] == '\\' && i + 1 < escaped.size() &&
                    kMarked.find(escaped[i + 1]) != std::string_view::npos) {
                    read += escaped[++i];
                } else if (kMarked.find(escaped[i]) != std::string_view::npos) {
                    problem = "unescaped '" + escaped.substr(i, 1) + "' in " + escaped;
                    read += escaped[i];
                } else {
                    read += escaped[i];
                }
            }
            return read;
        }
    }
    return read;
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

// Each service gets one request: a short message exactly as written below, and
// a hostile title that arrives only escaped as the service's format needs, with
// its link whole and the signature one computed here.
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
        Percent(IndependentSignature("SEC1", std::to_string(kNowMs) + "\nSEC1"));
    const std::string feishuStamp = std::to_string(kNowMs / 1000);
    const std::string feishuSign = IndependentSignature(feishuStamp + "\nS2", "");
    ASSERT_FALSE(dingSign.empty());
    ASSERT_FALSE(feishuSign.empty());
    const std::string encodedLink = "http://b.example/t?a=1&b=%282%29";

    using Json = nlohmann::json;
    struct Case {
        std::string channel;
        std::string target;
        std::string golden;   // the whole body of the short message
        const char* titleAt;  // where the hostile title stands in the body (a JSON pointer)
        TitleFormat format;
        // Texts of the hostile body (by JSON pointer) and what each must hold
        // (the link with what frames it, a signature).
        std::vector<std::pair<const char*, std::string>> holds;
        std::string header;  // one more header line the request must carry
    };
    const Case cases[] = {
        {"json://u:p@" + host + "/hook",
         "/hook",
         R"J({"title":"发现 1 篇新文章","body":"【论坛】\n第一篇\nhttp://a.example/1","articles":[{"scheme":"论坛","title":"第一篇","link":"http://a.example/1","other":"","time":"2026-12-11 2:00 01"}]})J",
         "/articles/0/title",
         TitleFormat::Json,
         {{"/articles/0/link", "\n" + kLink + "\n"}, {"/body", "\n" + kLink + "\n"}},
         "Authorization: Basic dTpw"},
        {"ntfy://" + host + "/alerts",
         "/",
         R"J({"topic":"alerts","title":"发现 1 篇新文章","message":"【论坛】\n第一篇\nhttp://a.example/1","click":"http://a.example/1"})J",
         "/message",
         TitleFormat::Plain,
         {{"/message", "\n" + kLink + "\n"}, {"/click", "\n" + encodedLink + "\n"}},
         ""},
        {"tgram://123:ABC/42",
         "/bot123:ABC/sendMessage",
         R"J({"chat_id":"42","text":"<b>发现 1 篇新文章</b>\n<b>【论坛】</b>\n<a href=\"http://a.example/1\">第一篇</a>","parse_mode":"HTML","disable_web_page_preview":true})J",
         "/text",
         TitleFormat::Html,
         {{"/text", "<a href=\"http://b.example/t?a=1&amp;b=%282%29\">"}},
         ""},
        {"wecombot://thekey",
         "/cgi-bin/webhook/send?key=thekey",
         R"J({"msgtype":"markdown","markdown":{"content":"**发现 1 篇新文章**\n**【论坛】**\n[第一篇](http://a.example/1)"}})J",
         "/markdown/content",
         TitleFormat::RobotMarkdown,
         {{"/markdown/content", "](" + encodedLink + ")\n"}},
         ""},
        {"dingtalk://tok?secret=SEC1",
         "/robot/send?access_token=tok&timestamp=" + std::to_string(kNowMs) + "&sign=" + dingSign,
         R"J({"msgtype":"markdown","markdown":{"title":"发现 1 篇新文章","text":"**发现 1 篇新文章**\n\n**【论坛】**\n\n[第一篇](http://a.example/1)"}})J",
         "/markdown/text",
         TitleFormat::RobotMarkdown,
         {{"/markdown/text", "](" + encodedLink + ")\n"}},
         ""},
        {"feishu://hooktok?secret=S2",
         "/open-apis/bot/v2/hook/hooktok",
         R"J({"timestamp":")J" + feishuStamp + R"J(","sign":")J" + feishuSign +
             R"J(","msg_type":"text","content":{"text":"发现 1 篇新文章\n【论坛】\n第一篇\nhttp://a.example/1"}})J",
         "/content/text",
         TitleFormat::TagText,
         {{"/content/text", "\n" + kLink + "\n"},
          {"/timestamp", "\n" + feishuStamp + "\n"},
          {"/sign", "\n" + feishuSign + "\n"}},
         ""},
        {"discord://1234/tok",
         "/api/webhooks/1234/tok",
         R"J({"content":"**发现 1 篇新文章**\n**【论坛】**\n第一篇\n<http://a.example/1>","allowed_mentions":{"parse":[]}})J",
         "/content",
         TitleFormat::Discord,
         {{"/content", "\n<" + encodedLink + ">\n"}},
         ""},
    };
    Outbox outbox((dir_ / "outbox").string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        std::vector<std::string> bodies;
        for (const auto& recorded : {ShortCycle(), HostileCycle()}) {
            const std::size_t before = server.Requests().size();
            const NotifyReport report = DeliverCycle({c.channel}, recorded, outbox, context_);
            EXPECT_FALSE(report.failed);
            EXPECT_TRUE(report.errors.empty()) << report.errors.front();
            const std::vector<std::string> requests = server.Requests();
            ASSERT_EQ(requests.size(), before + 1);
            const std::string& request = requests.back();
            EXPECT_EQ(request.rfind("POST ", 0), 0u);
            EXPECT_EQ(test::RequestTarget(request), c.target);
            EXPECT_TRUE(HasHeader(request, "Content-Type: application/json; charset=utf-8"));
            if (!c.header.empty()) {
                EXPECT_TRUE(HasHeader(request, c.header)) << request;
            }
            EXPECT_EQ(OutboxSize(), 0u);
            bodies.push_back(Body(request));
        }
        EXPECT_EQ(bodies[0], c.golden);

        // The hostile body: one JSON document, no raw control character in it.
        const std::string& raw = bodies[1];
        const Json body = Json::parse(raw, nullptr, false);
        ASSERT_TRUE(body.is_object()) << raw;
        for (char ch : raw) EXPECT_GE(static_cast<unsigned char>(ch), 0x20u) << raw;
        ASSERT_TRUE(body.contains(Json::json_pointer(c.titleAt))) << raw;
        std::string problem;
        const std::string read =
            ReadTitle(body[Json::json_pointer(c.titleAt)].get<std::string>(), c.format, problem);
        EXPECT_EQ(problem, "");
        EXPECT_EQ(read, c.format == TitleFormat::Json ? kHostile : kHostilePlain);
        for (const auto& [pointer, part] : c.holds) {
            SCOPED_TRACE(pointer);
            ASSERT_TRUE(body.contains(Json::json_pointer(pointer))) << raw;
            const std::string text =
                "\n" + body[Json::json_pointer(pointer)].get<std::string>() + "\n";
            EXPECT_NE(text.find(part), std::string::npos) << text;
        }
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
// while it still waits. The live server answers only after the silent one has
// its request, and the silent channel's wait (far longer than the test) is cut
// short only once the live channel's message has left the outbox; served one
// after the other, either would wait in vain.
TEST_F(NotifyChannels, ADeadChannelDelaysNoOther) {
    LoopbackHttpServer silent([](const std::string&) { return CannedReply{"", true}; });
    std::atomic<bool> liveAfterSilent{false};
    LoopbackHttpServer live([&](const std::string&) {
        liveAfterSilent = silent.WaitForRequests(1, std::chrono::seconds(30));
        return CannedReply{SimpleResponse("200 OK", "{}")};
    });
    std::atomic<bool> cutShort{false};
    context_.send.timeout = std::chrono::seconds(60);
    context_.send.stopped = [&] {
        if (OutboxSize() >= 2) return false;
        cutShort = true;
        return true;
    };
    Outbox outbox((dir_ / "outbox").string());
    const NotifyReport report =
        DeliverCycle({"json://127.0.0.1:" + std::to_string(silent.port()) + "/a",
                      "json://127.0.0.1:" + std::to_string(live.port()) + "/b"},
                     Recorded(), outbox, context_);
    EXPECT_TRUE(liveAfterSilent);
    EXPECT_TRUE(cutShort);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.delivered.size(), 1u);
    EXPECT_EQ(live.Requests().size(), 1u);
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
