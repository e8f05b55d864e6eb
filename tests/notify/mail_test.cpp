// The mail channel against a loopback SMTP server (aiosmtpd, started by the test)
// with a certificate made at test time: STARTTLS with a login, a server without
// TLS, and TLS from the start. The server decodes each mail with Python's own
// email parser.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "notify/deliver.h"
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

}  // namespace
}  // namespace vela
