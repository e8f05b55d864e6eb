// The texts and times that go into feeds and pages, and the article selects.

#include "web/web_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>

#include "fetch/encoding.h"
#include "store/bound_sql.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/test_database.h"
#include "web/article_query.h"
#include "web/feed_time.h"
#include "web/html_pages.h"
#include "web/read_connections.h"
#include "web/readable_time.h"

namespace vela {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(WebText, EscapesAndReplacesWhatMarkupCannotCarry) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"<a href=\"x\">&'</a>", "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;"},
        {"中文 ok", "中文 ok"},
        {"a\tb\nc\rd", "a b c d"},
        {std::string("\x00\x01\x1f\x7f", 4), kFffd + kFffd + kFffd + kFffd},
        {"\xC2\x85", kFffd},                          // a C1 control
        {"\xEF\xBF\xBE\xEF\xBF\xBF", kFffd + kFffd},  // U+FFFE, U+FFFF
        {"\xC0\xAF", kFffd + kFffd},                  // overlong "/"
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},      // a surrogate
        {"\xE4\xB8", kFffd + kFffd},                  // cut short at the end
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},     // outside the BMP
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(Escaped(c.in), c.out);
    }
    EXPECT_EQ(StoredUtf8(Gbk("标题") + std::string("\0", 1) + "\x81"), "标题??");
}

TEST(FeedTime, StoredTimesBecomeRfc3339WithTheLocalOffset) {
    ::setenv("TZ", "XST-5:30", 1);
    ::tzset();
    const struct {
        const char* stored;
        const char* rfc3339;  // empty: unreadable
    } cases[] = {
        {"2016-9-9 8:5 7", "2016-09-09T08:05:07+05:30"},
        {"2024-12-31 23:59 59", "2024-12-31T23:59:59+05:30"},
        {"2024-2-29 0:0 0", "2024-02-29T00:00:00+05:30"},
        {"2023-2-29 0:0 0", ""},
        {"2016-09-09 08:05:07", ""},  // the seconds follow a blank
        {"2016-9-9 8:5 7 ", ""},
        {"2016-9-9 24:0 0", ""},
        {"99999-1-1 0:0 0", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const auto time = ParseStoredTime(c.stored);
        EXPECT_EQ(time ? time->rfc3339 : "", c.rfc3339);
    }
    const auto t = ParseStoredTime("1994-11-6 14:19 37");
    ASSERT_TRUE(t);
    EXPECT_EQ(HttpDate(t->when), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), t->when);
    for (const char* bad : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 UTC",
                            "Sun, 31 Feb 1994 08:49:37 GMT", ""}) {
        EXPECT_FALSE(ParseHttpDate(bad)) << bad;
    }
}

TEST(ReadableTime, RecentTimesSayHowLongAgoAndTheRestHaveTheirZeros) {
    ::setenv("TZ", "CST-8", 1);
    ::tzset();
    const auto t = ParseStoredTime("2026-12-11 9:5 7");
    ASSERT_TRUE(t);
    const std::time_t at = t->when;
    const struct {
        const char* stored;
        std::time_t now;
        const char* text;  // empty: not a time
    } cases[] = {
        {"2026-12-11 9:5 7", at, "刚刚"},
        {"2026-12-11 9:5 7", at + 59, "刚刚"},
        {"2026-12-11 9:5 7", at - 30, "刚刚"},  // a clock a little behind
        {"2026-12-11 9:5 7", at - 61, "2026-12-11 09:05:07"},
        {"2026-12-11 9:5 7", at + 60, "1 分钟前"},
        {"2026-12-11 9:5 7", at + 3 * 60 + 59, "3 分钟前"},
        {"2026-12-11 9:5 7", at + 3600, "1 小时前"},
        {"2026-12-11 9:5 7", at + 24 * 3600 - 1, "23 小时前"},
        {"2026-12-11 9:5 7", at + 24 * 3600, "2026-12-11 09:05:07"},
        {"2026-12-11 09:05 07", at + 24 * 3600, "2026-12-11 09:05:07"},
        {"2016-1-2 3:4 5", at, "2016-01-02 03:04:05"},
        {"2026-12-11 9:5", at, ""},
        {"2026-12-11 09:05:07", at, ""},
        {"昨天", at, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " at " + std::to_string(c.now - at));
        ReadableTime time;
        const bool read = ReadStoredTime(c.stored, c.now, time);
        EXPECT_EQ(read ? time.text : "", c.text);
    }

    // On the page: the full time beside one shown as how long ago, and a text
    // that is no time as it stands, escaped.
    ArticlesPageInput page;
    page.now = at + 180;
    for (const char* stored : {"2026-12-11 9:5 7", "2026-12-10 9:5 7", "<b>9:5"}) {
        Article a;
        a.id = static_cast<int64_t>(page.articles.size()) + 1;
        a.time = stored;
        page.articles.push_back(a);
    }
    const std::string html = ArticlesPage(page);
    EXPECT_NE(html.find("<time datetime=\"2026-12-11T09:05:07+08:00\" "
                        "title=\"2026-12-11 09:05:07\">3 分钟前</time>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("<time datetime=\"2026-12-10T09:05:07+08:00\">2026-12-10 09:05:07</time>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"time\">&lt;b&gt;9:5</td>"), std::string::npos);
    EXPECT_EQ(html.find("9:5 7"), std::string::npos);
}

TEST(ArticleQuery, FiltersNewestFirstAndSearchesWholeCharacters) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    // "\xB0\xA1\xB0\xA1" (啊啊) holds the bytes "\xA1\xB0" only across a character
    // boundary: a byte search would find them.
    const std::vector<std::pair<int, std::string>> rows = {
        {1, Gbk("新闻 Alpha")}, {2, "\xB0\xA1\xB0\xA1"}, {1, "it's beta"}, {2, Gbk("公告 ALPHA")}};
    for (const auto& [scheme, title] : rows) {
        ASSERT_TRUE(db.ExecSql("insert into info(planid,title,issoucang) values('" +
                               std::to_string(scheme) + "','" + SqlQuote(title) + "','" +
                               (scheme == 2 ? "1" : "0") + "')"));
    }
    ReadConnections reader(file.path());
    const auto ids = [&](const ArticleFilter& filter) {
        TextTable result;
        EXPECT_TRUE(reader.Query(ArticleQuery(filter), result)) << ArticleQuery(filter).Shown();
        std::string out;
        for (const Article& a : ArticlesFromRows(result)) out += std::to_string(a.id);
        return out;
    };
    const auto filter = [](auto change) {
        ArticleFilter f;
        change(f);
        return f;
    };
    const struct {
        ArticleFilter filter;
        const char* ids;
    } cases[] = {
        {ArticleFilter(), "4321"},
        {filter([](ArticleFilter& f) { f.limit = 2; }), "43"},
        {filter([](ArticleFilter& f) { f.schemeIds = {1}; }), "31"},
        {filter([](ArticleFilter& f) {
             f.schemeIds = {1, 2}, f.beforeId = 4;
         }),
         "321"},
        {filter([](ArticleFilter& f) { f.favouritesOnly = true; }), "42"},
        {filter([](ArticleFilter& f) { f.titleGbk = "alpha"; }), "41"},
        {filter([](ArticleFilter& f) { f.titleGbk = "'"; }), "3"},
        {filter([](ArticleFilter& f) { f.titleGbk = "\xA1\xB0"; }), ""},
        {filter([](ArticleFilter& f) { f.titleGbk = "\xB0\xA1"; }), "2"},
        {filter([](ArticleFilter& f) { f.sinceId = 1, f.limit = 2; }), "23"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ArticleQuery(c.filter).Shown());
        EXPECT_EQ(ids(c.filter), c.ids);
    }
}

// The search text is bound, not written into the select: an apostrophe cannot end
// a literal, a zero byte cannot end the statement, and "%" and "_" are no wildcards.
TEST(ArticleQuery, ASearchTakesEveryByteOfItsTextLiterally) {
    test::TestDatabaseFile file;
    Database db;
    ASSERT_TRUE(db.OpenDatabase(file.path(), false));
    using namespace std::string_literals;
    const std::string titles[] = {"it's", "a\0b"s, "100%", "a_b", "acb", "1000"};
    for (const std::string& title : titles) {
        ASSERT_TRUE(ExecBound(db, {"insert into info(planid,title) values('1',?)", {title}}));
    }
    ReadConnections reader(file.path());
    const struct {
        std::string search;
        const char* ids;
    } cases[] = {
        {"'", "1"},    {"' or 1=1 --", ""}, {"')) or 1=1 --", ""}, {"\0b"s, "2"},
        {"a\0"s, "2"}, {"%", "3"},          {"0%", "3"},           {"_", "4"},
        {"a_b", "4"},  {"10_0", ""},
    };
    for (const auto& c : cases) {
        ArticleFilter filter;
        filter.titleGbk = c.search;
        SCOPED_TRACE(ArticleQuery(filter).Shown());
        TextTable result;
        ASSERT_TRUE(reader.Query(ArticleQuery(filter), result));
        std::string ids;
        for (const Article& a : ArticlesFromRows(result)) ids += std::to_string(a.id);
        EXPECT_EQ(ids, c.ids);
    }
}

TEST(ReadConnections, AReadPastItsTimeLimitIsGivenUp) {
    test::TestDatabaseFile file;
    ReadConnections reader(file.path());
    // Counts without end, calling the search function on every row, as a title
    // search over a large table does.
    const std::string endless =
        "with recursive n(x) as (select 1 union all select x+1 from n) "
        "select count(*) from n where gbk_contains(x || '', 'b')";
    TextTable rows;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(reader.Read(endless, rows, std::chrono::milliseconds(50)), ReadOutcome::kTooLong);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(rows.empty());
    // The connection goes back without its limit.
    EXPECT_EQ(reader.Read("select 1", rows, std::chrono::milliseconds(0)), ReadOutcome::kRead);
    EXPECT_EQ(reader.Read("select nothing", rows, std::chrono::milliseconds(50)),
              ReadOutcome::kFailed);
}

}  // namespace
}  // namespace vela
