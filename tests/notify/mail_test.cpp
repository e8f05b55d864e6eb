// The mail channel against a loopback SMTP server (aiosmtpd, started by the test)
// with a certificate made at test time: STARTTLS with a login, a server without
// TLS, and TLS from the start. The server decodes each mail with Python's own
// email parser.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "notify/deliver.h"
#include "notify/mail_message.h"
#include "notify/request_send.h"
#include "notify/service_table.h"
#include "notify/text_escape.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_http_server.h"

namespace vela {
namespace {

namespace fs = std::filesystem;

class MailChannel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ =
            new fs::path(fs::temp_directory_path() / ("vela_mail_" + std::to_string(::getpid())));
        fs::remove_all(*dir_);
        fs::create_directories(*dir_);
        const std::string d = dir_->string();
        const std::string make =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
            "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
            d + "/key.pem' -out '" + d + "/cert.pem' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return;
        for (int& port : ports_) port = test::UnusedLoopbackPort();
        server_ = new test::ChildProcess("/usr/bin/python3",
                                         {VELA_SMTP_RECORDER, d, std::to_string(ports_[0]),
                                          std::to_string(ports_[1]), std::to_string(ports_[2])},
                                         d, "smtp");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(*dir_ / "ready") && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        fs::remove_all(*dir_);
        delete dir_;
    }

    void SetUp() override {
        ASSERT_TRUE(fs::exists(*dir_ / "ready"))
            << "the SMTP server did not start (python3-aiosmtpd and openssl installed?)";
        context_.nowMs = [] { return int64_t{1765418400000}; };  // 2025-12-11 02:00:00 UTC
        context_.send.caFile = (*dir_ / "cert.pem").string();
        context_.send.timeout = std::chrono::seconds(10);
    }

    // Sends the cycle's message to `channel`; the mail the server recorded, or null.
    nlohmann::json Send(const std::string& channel, NotifyReport& report) {
        int before = 0;
        for (const auto& entry : fs::directory_iterator(*dir_)) {
            before += entry.path().filename().string().rfind("mail-", 0) == 0;
        }
        Outbox outbox((*dir_ / "outbox").string());
        report = DeliverCycle({channel}, recorded_, outbox, context_);
        const fs::path file = *dir_ / ("mail-" + std::to_string(before + 1) + ".json");
        if (!fs::exists(file)) return nullptr;
        std::ifstream in(file);
        return nlohmann::json::parse(in, nullptr, false);
    }

    std::string Url(int which) const { return "127.0.0.1:" + std::to_string(ports_[which]); }

    static inline fs::path* dir_ = nullptr;
    static inline int ports_[3] = {};
    static inline test::ChildProcess* server_ = nullptr;
    DeliveryContext context_;
    std::vector<NotifyArticle> recorded_ = {
        {"1", "论坛", "第一篇 <b>", "http://a.example/1", "", "t1"},
        {"1", "论坛", std::string(200, 'x') + "标题很长", "http://a.example/2", "", "t2"},
    };
};

TEST_F(MailChannel, StarttlsWithLoginDeliversUtf8SubjectAndBody) {
    NotifyReport report;
    const nlohmann::json mail =
        Send("mailto://user:pw@" + Url(0) + "?to=a@b.example,%20c@d.example&from=vela@x.example",
             report);
    EXPECT_FALSE(report.failed) << (report.errors.empty() ? "" : report.errors[0]);
    ASSERT_TRUE(mail.is_object());
    EXPECT_EQ(mail["server"], "starttls");
    EXPECT_EQ(mail["tls"], true);
    EXPECT_EQ(mail["auth"], true);
    EXPECT_EQ(mail["mail_from"], "vela@x.example");
    EXPECT_EQ(mail["rcpt_tos"], nlohmann::json::array({"a@b.example", "c@d.example"}));
    EXPECT_EQ(mail["subject"], "发现 2 篇新文章");
    EXPECT_EQ(mail["from"], "vela@x.example");
    EXPECT_EQ(mail["to"], "a@b.example, c@d.example");
    EXPECT_EQ(mail["date"], "Thu, 11 Dec 2025 02:00:00 +0000");
    EXPECT_EQ(mail["content_type"], "text/plain");
    EXPECT_EQ(mail["defects"], 0);
    EXPECT_NE(mail["message_id"].get<std::string>().find("@x.example>"), std::string::npos);
    EXPECT_EQ(mail["body"],
              "【论坛】\r\n" + std::string(200, 'x') +
                  "标题很长\r\nhttp://a.example/2\r\n第一篇 <b>\r\nhttp://a.example/1\r\n");
}

TEST_F(MailChannel, TlsIsRequiredUnlessTurnedOff) {
    NotifyReport report;
    // The plain server offers no STARTTLS: refused, and kept for later.
    EXPECT_TRUE(Send("mailto://" + Url(1) + "?to=a@b.example", report).is_null());
    EXPECT_TRUE(report.failed);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_NE(report.errors[0].find("kept in the outbox"), std::string::npos) << report.errors[0];
    // A wrong password fails (this server then lets the client wait: the time
    // limit ends it), and the password is never shown.
    context_.send.timeout = std::chrono::seconds(2);
    EXPECT_TRUE(Send("mailto://user:wrongpass@" + Url(0) + "?to=a@b.example", report).is_null());
    EXPECT_TRUE(report.failed);
    for (const std::string& error : report.errors) {
        EXPECT_EQ(error.find("wrongpass"), std::string::npos) << error;
    }
    fs::remove_all(*dir_ / "outbox");
    context_.send.timeout = std::chrono::seconds(10);

    nlohmann::json mail = Send("mailto://" + Url(1) + "?to=a@b.example&tls=no", report);
    EXPECT_FALSE(report.failed);
    ASSERT_TRUE(mail.is_object());
    EXPECT_EQ(mail["tls"], false);
    EXPECT_EQ(mail["mail_from"], "vela@127.0.0.1");

    // Without the requirement, STARTTLS is still used where the server offers it.
    mail = Send("mailto://user:pw@" + Url(0) + "?to=a@b.example&tls=no", report);
    EXPECT_FALSE(report.failed) << (report.errors.empty() ? "" : report.errors[0]);
    ASSERT_TRUE(mail.is_object());
    EXPECT_EQ(mail["tls"], true);

    mail = Send("mailtos://" + Url(2) + "?to=a@b.example", report);
    EXPECT_FALSE(report.failed) << (report.errors.empty() ? "" : report.errors[0]);
    ASSERT_TRUE(mail.is_object());
    EXPECT_EQ(mail["server"], "implicit");
    EXPECT_EQ(mail["subject"], "发现 2 篇新文章");
}

// A mail reader's own parser reads the folded subject back whole.
TEST_F(MailChannel, ALongSubjectReadsBackWhole) {
    NotifyMessage message = TestMessage();
    for (int i = 0; i < 5; ++i) message.title += " 论坛「新文章」标题很长很长😀";
    ChannelUrl url;
    std::string error;
    ASSERT_TRUE(ParseChannelUrl("mailto://" + Url(1) + "?to=a@b.example&tls=no", url, error));
    const ServiceEndpoints endpoints;
    const std::vector<ServiceRequest> requests =
        kMailService.compose(url, message, {endpoints, 1765418400000});
    ASSERT_EQ(requests.size(), 1u);
    int before = 0;
    for (const auto& entry : fs::directory_iterator(*dir_)) {
        before += entry.path().filename().string().rfind("mail-", 0) == 0;
    }
    const SendResult result = SendRequest(requests[0], context_.send);
    ASSERT_TRUE(result.ok) << result.error;
    std::ifstream in(*dir_ / ("mail-" + std::to_string(before + 1) + ".json"));
    const nlohmann::json mail = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(mail.is_object());
    EXPECT_EQ(mail["subject"], message.title);
    EXPECT_EQ(mail["defects"], 0);
}

std::string DecodeBase64(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string::npos) continue;  // '=' padding
        bits = bits << 6 | static_cast<unsigned>(value);
        if ((count += 6) >= 8) out += static_cast<char>(bits >> (count -= 8) & 0xFF);
    }
    return out;
}

// The header lines of a mail, without their CR LF.
std::vector<std::string> HeaderLines(const std::string& mail) {
    std::vector<std::string> lines;
    const std::size_t end = mail.find("\r\n\r\n");
    for (std::size_t start = 0; start < end;) {
        const std::size_t crlf = mail.find("\r\n", start);
        lines.push_back(mail.substr(start, crlf - start));
        start = crlf + 2;
    }
    return lines;
}

// A long subject is folded into encoded words of whole characters, each line at
// most 76 characters long; decoded and joined they give the subject back.
TEST(MailText, LongSubjectFoldsIntoShortLinesOfWholeCharacters) {
    NotifyMessage message;
    message.title = "论坛「新文章」标题很长很长" + std::string("ab") + "😀";
    for (int i = 0; i < 6; ++i) message.title += message.title;
    const std::string mail = MailMessage("vela@x.example", {"a@b.example"}, message, 0, 1);
    std::string subject;
    bool inSubject = false;
    int words = 0;
    for (const std::string& line : HeaderLines(mail)) {
        EXPECT_LE(line.size(), 76u) << line;
        if (line.rfind("Subject: ", 0) == 0) {
            inSubject = true;
        } else if (line.empty() || line[0] != ' ') {
            inSubject = false;
        }
        if (!inSubject) continue;
        const std::size_t open = line.find("=?UTF-8?B?");
        const std::size_t close = line.rfind("?=");
        ASSERT_NE(open, std::string::npos) << line;
        EXPECT_LE(close + 2 - open, 75u) << line;
        const std::string part = DecodeBase64(line.substr(open + 10, close - open - 10));
        EXPECT_EQ(PlainLine(part), part) << "a character cut in half: " << line;
        subject += part;
        ++words;
    }
    EXPECT_GT(words, 20);
    EXPECT_EQ(subject, message.title);
}

// The Date line is English whatever the locale: the window runs under zh_CN,
// where strftime writes "四, 11 12月 2025".
TEST(MailText, DateIsEnglishUnderAChineseLocale) {
    const fs::path locales =
        fs::temp_directory_path() / ("vela_locale_" + std::to_string(::getpid()));
    fs::create_directories(locales);
    const std::string make =
        "localedef -i zh_CN -f UTF-8 '" + (locales / "zh_CN.UTF-8").string() + "' >/dev/null 2>&1";
    const int made = std::system(make.c_str());
    ::setenv("LOCPATH", locales.c_str(), 1);
    const bool chinese = made == 0 && std::setlocale(LC_ALL, "zh_CN.UTF-8") != nullptr;
    NotifyMessage message;
    message.title = "t";
    const std::string mail =
        MailMessage("vela@x.example", {"a@b.example"}, message, 1765418400000, 1);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    fs::remove_all(locales);
    if (!chinese) GTEST_SKIP() << "cannot make the zh_CN locale (localedef and locales installed?)";
    EXPECT_EQ(HeaderLines(mail).at(0), "Date: Thu, 11 Dec 2025 02:00:00 +0000");
}

TEST(MailText, TheChannelCheckWantsPlainRecipients) {
    struct Case {
        const char* channel;
        const char* error;  // part of the line; empty when the channel is taken
    };
    const Case cases[] = {
        {"mailto://smtp.example?to=a@b.example,%20c.d@e-f.example", ""},
        {"mailto://[::1]:25?to=a@b.example", ""},
        {"mailto://smtp.example?to=a@[127.0.0.1]", ""},
        {"mailto://smtp.example", "needs a recipient"},
        {"mailto://smtp.example?to=", "needs a recipient"},
        {"mailto://smtp.example?from=me@x.example&to=%20,", "needs a recipient"},
        {"mailto://smtp.example?to=nobody", "to=nobody"},
        {"mailto://smtp.example?to=a@b.example;c@d.example", "to="},
        {"mailto://smtp.example?to=@b.example", "to="},
        {"mailto://smtp.example?to=a@", "to="},
        {"mailto://smtp.example?to=a..b@c.example", "to="},
        {"mailto://smtp.example?to=a@b..example", "to="},
        {"mailto://smtp.example?to=a@b@c.example", "to="},
        {"mailto://smtp.example?to=%E7%94%A8@b.example", "to="},
        {"mailto://smtp.example?to=a@b.example&from=me", "from="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        std::string error;
        const bool ok = CheckChannel(c.channel, error);
        EXPECT_EQ(ok, *c.error == 0) << error;
        if (!ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace vela
