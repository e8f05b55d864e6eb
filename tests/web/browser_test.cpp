// The web view in a real browser: headless Chromium (Debian's chromium) loads the
// page from a loopback server; the test reads the DOM it built and keeps
// screenshots of a desktop and a phone window in the build folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/child_process.h"
#include "tests/support/test_database.h"
#include "web/database_identity.h"
#include "web/http_server.h"
#include "web/web_site.h"

namespace vela {
namespace {

constexpr const char* kChromium = "/usr/bin/chromium";

std::vector<std::string> ChromiumArgs(const std::string& profile) {
    // No sandbox as root; nothing that would reach outside the machine.
    return {"--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--hide-scrollbars",
            "--user-data-dir=" + profile};
}

std::size_t Count(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

TEST(Browser, ShowsTheArticlesAndRunsNothingFromATitle) {
    ASSERT_TRUE(std::filesystem::exists(kChromium)) << "install the chromium package";
    test::TestDatabaseFile file;
    {
        Database db;
        ASSERT_TRUE(db.OpenDatabase(file.path(), false));
        ASSERT_TRUE(db.ExecSql("insert into rule(id,name,url,isdo) values(1,'" +
                               SqlQuote(Gbk("水木社区")) + "','http://bbs.example/','1')"));
        const std::vector<std::pair<std::string, std::string>> articles = {
            {Gbk("关于春节放假安排的通知"), "http://bbs.example/1"},
            {Gbk("【求助】Linux 下编译 Qt 6 项目报错"), "https://bbs.example/2"},
            {"<img src=x onerror=\"document.body.setAttribute('data-pwned','1')\">", "http://x/3"},
            {"<script>document.title='pwned'</script>" + Gbk("脚本"),
             "javascript:document.title='pwned'"},
            {Gbk("周末爬山活动报名帖（北京香山）"), "http://bbs.example/5"},
        };
        for (const auto& [title, url] : articles) {
            ASSERT_TRUE(db.ExecSql(
                "insert into info(planname,planid,title,url,other,addtime,issoucang) values('" +
                SqlQuote(Gbk("水木社区")) + "','1','" + SqlQuote(title) + "','" + SqlQuote(url) +
                "','" + SqlQuote(Gbk("回复 3")) + "','2026-12-11 9:5 7','0')"));
        }
    }
    ReadConnections reader(file.path());
    CheckBoard board;
    WebSite site(reader, board, {"", PathIdentity(file.path()), "", {}});
    HttpServer server([&site](const WebRequest& r) { return site.Answer(r); });
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
    server.Start(2);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";

    std::vector<std::string> args = ChromiumArgs(file.dir() + "/profile");
    args.push_back("--dump-dom");
    args.push_back(url);
    const test::ChildOutcome dom = test::RunChild(kChromium, args, file.dir());
    ASSERT_EQ(dom.exitCode, 0) << dom.err;
    const std::string& html = dom.out;
    EXPECT_EQ(Count(html, "<tr id=\"a"), 5u) << html;
    EXPECT_NE(html.find("<a href=\"http://bbs.example/1\" rel=\"noopener noreferrer nofollow\">"
                        "关于春节放假安排的通知</a>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<a href=\"https://bbs.example/2\""), std::string::npos);
    // The hostile titles are text: no element came of them, no script ran, and
    // the javascript: link is no link.
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(Count(html, "<script"), 0u);
    EXPECT_EQ(html.find("data-pwned=\""), std::string::npos);
    EXPECT_EQ(html.find("<title>pwned"), std::string::npos);
    EXPECT_EQ(html.find("href=\"javascript"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror="), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;document.title='pwned'&lt;/script&gt;脚本"),
              std::string::npos);

    // The schemes page as the browser builds it: each scheme's buttons are forms
    // that POST with the session's CSRF token.
    args.back() = url + "schemes";
    const test::ChildOutcome schemes = test::RunChild(kChromium, args, file.dir());
    ASSERT_EQ(schemes.exitCode, 0) << schemes.err;
    EXPECT_NE(schemes.out.find("<form method=\"post\" action=\"/schemes/1/check\""),
              std::string::npos)
        << schemes.out;
    EXPECT_EQ(Count(schemes.out, "name=\"csrf\""), 2u);

    // The scheme form as the browser builds it: every caption is the label of
    // its field.
    args.back() = url + "schemes/new/form";
    const test::ChildOutcome form = test::RunChild(kChromium, args, file.dir());
    ASSERT_EQ(form.exitCode, 0) << form.err;
    for (const char* id : {"f-name", "f-url", "f-encoding", "f-pattern", "f-title_group", "f-mode",
                           "f-user_agent", "f-include", "f-fetch"}) {
        EXPECT_NE(form.out.find("for=\"" + std::string(id) + "\""), std::string::npos) << id;
        EXPECT_NE(form.out.find("id=\"" + std::string(id) + "\""), std::string::npos) << id;
    }

    // Screenshots to look at: a desktop window and a phone, of the articles and
    // of the schemes.
    for (const auto& [name, size] :
         {std::pair<std::string, std::string>{"desktop", "1280,800"}, {"phone", "390,844"}}) {
        for (const auto& [page, path] : {std::pair<std::string, std::string>{"web_view_", ""},
                                         {"web_schemes_", "schemes"},
                                         {"web_add_page_", "schemes/new"},
                                         {"web_scheme_form_", "schemes/new/form"}}) {
            const std::string png = std::string(VELA_SCREENSHOT_DIR) + "/" + page + name + ".png";
            std::filesystem::remove(png);
            std::vector<std::string> shot = ChromiumArgs(file.dir() + "/profile");
            shot.push_back("--window-size=" + size);
            shot.push_back("--screenshot=" + png);
            shot.push_back(url + path);
            const test::ChildOutcome taken = test::RunChild(kChromium, shot, file.dir());
            EXPECT_EQ(taken.exitCode, 0) << taken.err;
            ASSERT_TRUE(std::filesystem::exists(png)) << taken.err;
            EXPECT_GT(std::filesystem::file_size(png), 10'000u) << png;
        }
    }
}

}  // namespace
}  // namespace vela
