#include "propose/proposal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/scheme_file.h"
#include "engine/scheme_run.h"
#include "fetch/encoding.h"
#include "page_quality.h"
#include "propose/link_resolve.h"
#include "fetch/page_charset.h"
#include "store/database.h"
#include "tests/support/forum_page.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/silent_report.h"
#include "tests/support/test_database.h"

namespace vela {
namespace {

using test::ForumPage;

std::string Repeat(int from, int to, const std::string& pattern) {
    std::string out;
    for (int n = from; n <= to; ++n) {
        std::string piece = pattern;
        for (std::size_t at; (at = piece.find("{n}")) != std::string::npos;) {
            piece.replace(at, 3, std::to_string(n));
        }
        out += piece;
    }
    return out;
}

// One page, each showing one difficulty, and what its first candidate must be.
struct Fixture {
    const char* name;
    std::string page;
    std::string url;
    std::size_t items;       // of the first candidate
    std::string firstTitle;  // UTF-8, as a person reads it
    std::string firstLink;
    std::string lastTitle;
    JudgeMode mode;
    bool cleanTitles = false;
};

std::vector<Fixture> Fixtures() {
    std::vector<Fixture> fixtures;
    {
        // Two pinned threads set apart by a separator row, a sidebar of hot
        // threads whose links look like the board's, a menu and pagination.
        const std::string page = ForumPage(6000);
        std::size_t threads = 0;
        for (std::size_t at = page.find("normalthread_"); at != std::string::npos;
             at = page.find("normalthread_", at + 1)) {
            ++threads;
        }
        const std::size_t first = page.find("id=\"normalthread_") + 17;
        const std::string id = page.substr(first, page.find('"', first) - first);
        fixtures.push_back({"discuz board", page, "http://bbs.example/forum-2-1.html", threads,
                            "出售二手相机 " + id + " 九成新",
                            "http://bbs.example/thread-" + id + "-1-1.html", "",
                            JudgeMode::CompareArticleId});
    }
    fixtures.push_back(
        {"ul/li news list",
         "<html><head><meta charset=\"utf-8\"><title>新闻</title></head><body>\n"
         "<div class=\"header\"><a href=\"/\">首页</a> <a href=\"/news/\">新闻</a></div>\n"
         "<ul class=\"news\">\n" +
             Repeat(
                 1, 6,
                 "  <li><span>2026-12-0{n}</span><a href=\"/news/2026/a{n}.html\">市政府发布第{n}"
                 "项新规定 涉及交通出行</a></li>\n") +
             "</ul><div class=\"pages\"><a href=\"?page=2\">2</a><a href=\"?page=3\">3</a></div>"
             "</body></html>",
         "http://news.example/list/", 6, "市政府发布第1项新规定 涉及交通出行",
         "http://news.example/news/2026/a1.html", "市政府发布第6项新规定 涉及交通出行",
         JudgeMode::CompareArticleId});
    fixtures.push_back(
        {"phpBB table",
         "<html><body><table class=\"forumline\"><tr><th>Topics</th><th>Author</th></tr>\n" +
             Repeat(1, 5,
                    "<tr><td class=\"row1\"><a href=\"viewtopic.php?t=10{n}&amp;sid=4f2a\" "
                    "class=\"topictitle\">How to tune the carburettor, part {n}</a></td><td "
                    "class=\"row2\"><a "
                    "href=\"profile.php?mode=viewprofile&amp;u={n}\">bob</a></td></tr>\n") +
             "</table></body></html>",
         "http://forum.example/phpBB2/index.php", 5, "How to tune the carburettor, part 1",
         "http://forum.example/phpBB2/viewtopic.php?t=101&sid=4f2a",
         "How to tune the carburettor, part 5", JudgeMode::CompareArticleId});
    fixtures.push_back(
        {"menu with more links than the list",
         "<html><body><ul class=\"menu\">" +
             Repeat(1, 12, "<li><a href=\"/c/{n}\">栏目{n}</a></li>") +
             "</ul>\n<div class=\"list\">" +
             Repeat(1, 5,
                    "<p><a href=\"/a/x{n}.html\">一条很长的文章标题在这里 第{n}篇</a></p>\n") +
             "</div></body></html>",
         "https://site.example/", 5, "一条很长的文章标题在这里 第1篇",
         "https://site.example/a/x1.html", "一条很长的文章标题在这里 第5篇",
         JudgeMode::CompareArticleId});
    {
        // A GBK page whose third title holds a byte that is no GBK character.
        std::string page =
            Gbk("<html><head><meta charset=\"gbk\"></head><body><ul id=\"list\">\n" +
                Repeat(1, 5, "<li><a href=\"t{n}.html\">公告标题 第{n}号 内容说明</a></li>\n") +
                "</ul></body></html>");
        page.insert(page.find(Gbk("第3号")), "\xFF");
        fixtures.push_back({"one bad GBK byte", page, "http://gbk.example/notice/", 5,
                            "公告标题 第1号 内容说明", "http://gbk.example/notice/t1.html",
                            "公告标题 第5号 内容说明", JudgeMode::CompareArticleId});
    }
    {
        // A title with a character that only GB18030's four-byte form holds.
        std::string page =
            Gbk("<html><head><meta charset=\"gb18030\"></head><body><ol class=\"items\">\n" +
                Repeat(1, 5, "<li><a href=\"/item/{n}\">古籍整理 第{n}卷 新书上架</a></li>\n") +
                "</ol></body></html>");
        page.insert(page.find(Gbk("古籍整理 第1卷")), "\x95\x32\x82\x36");
        fixtures.push_back({"four-byte GB18030 title", page, "http://books.example/", 5, "",
                            "http://books.example/item/1", "古籍整理 第5卷 新书上架",
                            JudgeMode::CompareArticleId});
    }
    fixtures.push_back(
        {"records nested by an unclosed div",
         "<html><body><div id=\"list\">\n" +
             Repeat(1, 5,
                    "<div class=\"item\"><a href=\"/p/{n}\">这是一篇文章的标题 编号{n}</a>"
                    "<div class=\"info\">作者 张三</div>\n") +
             "</div><div id=\"foot\">版权所有</div></body></html>",
         "http://blog.example/", 5, "这是一篇文章的标题 编号1", "http://blog.example/p/1",
         "这是一篇文章的标题 编号5", JudgeMode::CompareArticleId});
    fixtures.push_back(
        {"records whose classes differ (odd and even, categories)",
         "<html><body><div id=\"posts\">\n" +
             Repeat(
                 1, 6,
                 "<div class=\"post cat-{n} row{n}\"><h2><a href=\"/2026/12/p{n}/\">A post about "
                 "gardening, part {n}</a></h2><a href=\"/category/c{n}/\">c{n}</a></div>\n") +
             "</div></body></html>",
         "https://blog.example/", 6, "A post about gardening, part 1",
         "https://blog.example/2026/12/p1/", "A post about gardening, part 6",
         JudgeMode::CompareArticleId});
    fixtures.push_back(
        {"links relative to the page, with dates and ids",
         "<html><body><div class=\"list_con\"><ul>\n" +
             Repeat(
                 1, 5,
                 "<li><a href=\"./202612/t2026121{n}_88{n}.htm\" title=\"t\">关于做好第{n}项工作的"
                 "通知</a><span>2026-12-1{n}</span></li>\n") +
             "</ul></div><div class=\"page\"><a "
             "href=\"index_1.htm\">下一页</a></div></body></html>",
         "http://www.gov.example/tzgg/index.htm", 5, "关于做好第1项工作的通知",
         "http://www.gov.example/tzgg/202612/t20261211_881.htm", "关于做好第5项工作的通知",
         JudgeMode::CompareArticleId});
    fixtures.push_back(
        {"titles with markup and references",
         "<html><body><ul class=\"list\">\n" +
             Repeat(1, 5,
                    "<li><a href=\"/t/{n}.html\"><font color=\"red\">置顶</font>公告 第{n}条 "
                    "官方&amp;玩家 说明</a></li>\n") +
             "</ul></body></html>",
         "http://game.example/", 5, "置顶公告 第1条 官方&玩家 说明", "http://game.example/t/1.html",
         "置顶公告 第5条 官方&玩家 说明", JudgeMode::CompareArticleId, true});
    return fixtures;
}

std::string Utf8Of(const std::string& gbk) { return GbkToUtf8(gbk); }

Proposal Propose(const Fixture& fixture) {
    ProposeInput input;
    input.page = fixture.page;
    input.url = fixture.url;
    return ProposeSchemes(input);
}

TEST(ProposalTest, FindsTheListOfEachPage) {
    for (const Fixture& fixture : Fixtures()) {
        SCOPED_TRACE(fixture.name);
        const Proposal proposal = Propose(fixture);
        ASSERT_FALSE(proposal.candidates.empty()) << proposal.error;
        const Candidate& top = proposal.candidates.front();
        ASSERT_EQ(top.items.size(), fixture.items);
        // The titles as stored: markup and references gone where the page has them.
        if (!fixture.firstTitle.empty()) {
            EXPECT_EQ(Utf8Of(top.items.front().title), fixture.firstTitle);
        }
        EXPECT_EQ(Utf8Of(top.items.front().link), fixture.firstLink);
        if (!fixture.lastTitle.empty()) {
            EXPECT_EQ(Utf8Of(top.items.back().title), fixture.lastTitle);
        }
        EXPECT_EQ(ToJudgeMode(top.scheme.type), fixture.mode);
        EXPECT_EQ(top.scheme.fields.cleanTitles, fixture.cleanTitles);
        for (const ProposedItem& item : top.items) {
            EXPECT_EQ(item.link.find("&amp;"), std::string::npos) << item.link;
        }
        EXPECT_GT(top.score, 0);
        EXPECT_LE(top.score, 1);
    }
}

TEST(ProposalTest, PinnedThreadsAreOfferedWithAndWithout) {
    // Pinned threads set apart by their ids and a separator row (Discuz!), and by a
    // class of their own.
    const std::string sticky =
        "<html><body><ul class=\"topics\">" +
        Repeat(1, 2,
               "<li class=\"sticky\"><a href=\"/topic/{n}\">Read this first, rule {n}</a></li>") +
        Repeat(95, 100, "<li><a href=\"/topic/{n}\">Question about engines number {n}</a></li>") +
        "</ul></body></html>";
    const struct {
        std::string page, url, firstPinned;
        std::size_t pinned;
    } pages[] = {{ForumPage(6000), "http://bbs.example/forum-2-1.html", "版规 1 请先阅读", 2},
                 {sticky, "http://f.example/", "Read this first, rule 1", 2}};
    for (const auto& page : pages) {
        SCOPED_TRACE(page.url);
        ProposeInput input;
        input.page = page.page;
        input.url = page.url;
        const Proposal proposal = ProposeSchemes(input);
        ASSERT_GE(proposal.candidates.size(), 2u);
        const auto& without = proposal.candidates[0].items;
        const auto& with = proposal.candidates[1].items;
        ASSERT_EQ(with.size(), without.size() + page.pinned);
        EXPECT_EQ(Utf8Of(with.front().title), page.firstPinned);
        EXPECT_TRUE(std::equal(without.begin(), without.end(), with.begin() + page.pinned,
                               [](const ProposedItem& a, const ProposedItem& b) {
                                   return a.title == b.title && a.link == b.link;
                               }));
        for (const Candidate& candidate : proposal.candidates) {
            EXPECT_EQ(candidate.scheme.url, input.url);
            EXPECT_EQ(candidate.scheme.userAgent, kDefaultUserAgent);
        }
    }
    // On the board, the hot threads come next; the menu and the pages further down.
    ProposeInput input;
    input.page = ForumPage(6000);
    input.url = "http://bbs.example/forum-2-1.html";
    const Proposal proposal = ProposeSchemes(input);
    ASSERT_GE(proposal.candidates.size(), 3u);
    EXPECT_TRUE(proposal.gbk);
    EXPECT_EQ(Utf8Of(proposal.candidates[2].items.front().title), "热门主题 901 大家来讨论");
}

TEST(ProposalTest, FourByteTitleIsKeptWhole) {
    for (const Fixture& fixture : Fixtures()) {
        if (std::string(fixture.name) != "four-byte GB18030 title") continue;
        const Proposal proposal = Propose(fixture);
        ASSERT_FALSE(proposal.candidates.empty());
        EXPECT_EQ(proposal.candidates.front().items.front().title,
                  "\x95\x32\x82\x36" + Gbk("古籍整理 第1卷 新书上架"));
    }
}

TEST(ProposalTest, RealPagesAgainstTheirTruth) {
    const std::string folder = VELA_TEST_DATA "/pages";
    const auto pages = test::ReadTruth(folder);
    ASSERT_EQ(pages.size(), 7u);
    std::size_t top = 0, three = 0;
    for (const auto& truth : pages) {
        const test::PageScore score = test::ScorePage(folder, truth);
        SCOPED_TRACE(truth.file);
        EXPECT_GE(score.firstThree, 0.9);
        top += score.top >= 0.9 ? 1 : 0;
        three += score.firstThree >= 0.9 ? 1 : 0;
    }
    EXPECT_GE(top * 10, pages.size() * 8) << "top candidate F1 >= 0.9 on at least 80 % of pages";
    EXPECT_GE(three * 100, pages.size() * 95) << "one of the first three on at least 95 %";
}

// Each candidate's scheme, run by the engine as a monitoring run over HTTP,
// stores exactly the items the candidate shows.
TEST(ProposalTest, EveryCandidateRecordsWhatItShows) {
    std::vector<std::pair<std::string, std::string>> pages;  // page, address
    for (const Fixture& fixture : Fixtures()) pages.emplace_back(fixture.page, fixture.url);
    for (const auto& truth : test::ReadTruth(VELA_TEST_DATA "/pages")) {
        pages.emplace_back(test::ReadFile(VELA_TEST_DATA "/pages/" + truth.file), truth.url);
    }
    std::string served;
    test::LoopbackHttpServer server([&served](const std::string&) {
        return test::CannedReply{
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(served.size()) +
            "\r\nConnection: close\r\n\r\n" + served};
    });
    test::TestDatabaseFile file;
    Database db;
    db.OpenDatabase(file.path(), false);
    db.ExecSql("pragma synchronous=off");  // many small transactions, nothing to keep
    MonitorTimings timings;
    timings.insertPauseMs = 0;
    int schemeId = 0;
    for (const auto& [page, url] : pages) {
        ProposeInput input;
        input.page = page;
        input.url = url;
        const Proposal proposal = ProposeSchemes(input);
        ASSERT_FALSE(proposal.candidates.empty()) << url;
        served = page;
        for (const Candidate& candidate : proposal.candidates) {
            // A scheme the editor's save and the scheme file's reader accept.
            SchemeSave save;
            save.form = SchemeFormOf(candidate.scheme);
            const SchemeFileText written = WriteSchemeFile({save});
            ASSERT_TRUE(written.ok) << written.error;
            const SchemeFileRead read = ReadSchemeFile(written.text, "proposed.toml");
            EXPECT_TRUE(read.ok()) << (read.errors.empty() ? "" : read.errors.front());

            Scheme scheme = candidate.scheme;
            scheme.id = std::to_string(++schemeId);
            scheme.url = server.Url("/list");
            test::SilentReport report;
            const SchemeRun run = MonitorScheme(scheme, db, timings, report);
            ASSERT_FALSE(run.failed() && !run.firstRun) << url;
            const TextTable rows = test::QueryRows(
                db, "select title,url from info where planid='" + scheme.id + "' order by id");
            std::vector<std::pair<std::string, std::string>> stored, shown;
            for (const auto& row : rows) stored.emplace_back(row.at(0), row.at(1));
            for (const ProposedItem& item : candidate.items)
                shown.emplace_back(item.title, item.link);
            std::sort(stored.begin(), stored.end());
            std::sort(shown.begin(), shown.end());
            EXPECT_EQ(stored, shown) << url << " candidate " << scheme.id;
        }
    }
}

TEST(ProposalTest, HostilePagesEndWithAnAnswer) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<div>";
    deep += Repeat(1, 5, "<li><a href=\"/t/{n}\">Article title number {n}</a></li>");
    std::string attributes = "<div";
    for (int i = 0; i < 1000000; ++i) attributes += " a" + std::to_string(i) + "=x";
    attributes += ">" + Repeat(1, 5, "<li><a href=\"/t/{n}\">Article title number {n}</a></li>");
    std::string many = "<table>";
    for (int i = 10000; i > 0; --i) {
        many += "<tr><td><a href=\"/t/" + std::to_string(i) + "\">Thread title " +
                std::to_string(i) + "</a></td></tr>";
    }
    many += "</table><p>end</p>";
    for (const std::string* page : {&deep, &attributes, &many}) {
        ProposeInput input;
        input.page = *page;
        input.url = "http://x.example/";
        const Proposal proposal = ProposeSchemes(input);
        EXPECT_TRUE(!proposal.candidates.empty() || !proposal.error.empty());
    }
    ProposeInput input;
    input.page = many;
    input.url = "http://x.example/";
    const Proposal proposal = ProposeSchemes(input);
    ASSERT_FALSE(proposal.candidates.empty());
    EXPECT_EQ(proposal.candidates.front().items.size(), 10000u);
}

TEST(ProposalTest, NothingToFind) {
    for (const std::string page : {"", "<html><body><p>just text</p></body></html>",
                                   "<a href=\"/1\">one</a><a href=\"/2\">two</a>"}) {
        ProposeInput input;
        input.page = page;
        input.url = "http://x.example/";
        const Proposal proposal = ProposeSchemes(input);
        EXPECT_TRUE(proposal.candidates.empty());
        EXPECT_FALSE(proposal.error.empty());
    }
}

TEST(LinkResolveTest, ResolvesAsABrowserDoes) {
    const std::string base = "http://a.example/b/c/d.html?q=1#f";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"e.html", "http://a.example/b/c/e.html"},
        {"../e.html", "http://a.example/b/e.html"},
        {"./../../../e", "http://a.example/e"},
        {"/x/y", "http://a.example/x/y"},
        {"//cdn.example/z", "http://cdn.example/z"},
        {"?p=2", "http://a.example/b/c/d.html?p=2"},
        {"#top", "http://a.example/b/c/d.html?q=1#top"},
        {"https://o.example/", "https://o.example/"},
        {"thread-[1]-1.html?x=../y", "http://a.example/b/c/thread-[1]-1.html?x=../y"},
        {"", "http://a.example/b/c/d.html?q=1"},
    };
    for (const auto& [reference, resolved] : cases) {
        EXPECT_EQ(ResolveLink(base, reference), resolved) << reference;
    }
    EXPECT_EQ(ResolveLink("http://a.example", "x"), "http://a.example/x");
    EXPECT_EQ(ResolveLink("file:///tmp/page.html", "x.html"), "x.html");
}

TEST(PageEncodingTest, BytesOutweighAStaleMeta) {
    const std::string gbkText = Gbk("<meta charset=\"utf-8\"><p>中文</p>");
    const std::string utf8Text = "<meta charset=\"gb2312\"><p>中文</p>";
    EXPECT_TRUE(PageIsGbk("", gbkText)) << "not UTF-8 whatever it says";
    EXPECT_FALSE(PageIsGbk("", utf8Text)) << "a saved page keeps its old meta";
    EXPECT_TRUE(PageIsGbk("", Gbk("<meta charset=\"gbk\">abc")));
    EXPECT_FALSE(PageIsGbk("text/html; charset=UTF-8", utf8Text));
    EXPECT_TRUE(PageIsGbk("text/html; charset=GBK", utf8Text)) << "the header is believed";
    EXPECT_FALSE(PageIsGbk("text/html; charset=gbk", "\xEF\xBB\xBF" + gbkText)) << "a BOM first";
    EXPECT_FALSE(PageIsGbk("", "<p>ascii</p>"));
}

}  // namespace
}  // namespace vela
