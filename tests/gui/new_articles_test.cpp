#include <gtest/gtest.h>

#include "fetch/encoding.h"
#include "gui/new_article_notification.h"

namespace vela {
namespace {

std::string G(std::string_view utf8) { return Utf8ToGbk(utf8); }

TEST(NewArticles, DigestCountsAllAndKeepsTheLatestThree) {
    NewArticleDigest digest;
    for (int i = 1; i <= 5; ++i) digest.AddRecorded(i < 4 ? "a" : "b", "T" + std::to_string(i));
    NewArticleDigest::Snapshot news = digest.Take();
    EXPECT_EQ(news.count, 5);
    ASSERT_EQ(news.latest.size(), 3u);
    EXPECT_EQ(news.latest[0].title, "T5");
    EXPECT_EQ(news.latest[0].scheme, "b");
    EXPECT_EQ(news.latest[2].title, "T3");
    EXPECT_EQ(news.latest[2].scheme, "a");
    // Taking starts afresh.
    EXPECT_EQ(digest.Take().count, 0);
    // The cleaned title's doubled apostrophes are kept as stored: single.
    digest.AddRecorded("s", "it''s ''''");
    EXPECT_EQ(digest.Take().latest[0].title, "it's ''");
}

TEST(NewArticles, NotificationNamesCountSchemesAndTitles) {
    NewArticleDigest::Snapshot news{5, {{G("天涯"), G("标题三")}, {"b", "two"}, {"b", "one"}}};
    NotificationRequest n = NewArticleNotification(news);
    EXPECT_EQ(n.title, G("发现 5 篇新文章"));
    EXPECT_EQ(n.text, G("【天涯】标题三\n【b】two\n【b】one\n……"));
    // All named: no ellipsis line.
    news.count = 3;
    EXPECT_EQ(NewArticleNotification(news).text, G("【天涯】标题三\n【b】two\n【b】one"));
    news = {1, {{"s", "x"}}};
    EXPECT_EQ(NewArticleNotification(news).title, G("发现 1 篇新文章"));
    EXPECT_EQ(NewArticleNotification(news).text, G("【s】x"));
}

// Titles come from web pages: markup is shown, not interpreted, by a notification
// service, line breaks cannot add lines, and a long title is cut on a character.
TEST(NewArticles, NotificationDefusesPageText) {
    NewArticleDigest::Snapshot news{1, {{"<b>s</b>", "<a href=\"file:///etc\">x</a> & y\nz\r\t"}}};
    EXPECT_EQ(NewArticleNotification(news).text,
              G("【＜b＞s＜/b＞】＜a href=\"file:///etc\"＞x＜/a＞ ＆ y z  "));
    std::string longTitle;
    for (int i = 0; i < 50; ++i) longTitle += G("长");
    news = {1, {{"s", "a" + longTitle}}};  // one ASCII byte first: the cut falls mid-pair
    std::string text = NewArticleNotification(news).text;
    EXPECT_EQ(text, G("【s】") + "a" + longTitle.substr(0, 78) + G("…"));
}

}  // namespace
}  // namespace vela
