#include "engine/keyword_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetch/encoding.h"

namespace vela {
namespace {

// Keyword lists and titles are written in UTF-8 and converted to GBK, as the
// editor and the pages hand them over; raw GBK bytes are written as bytes.
TEST(KeywordFilter, KeepsTitlesByTheirKeywords) {
    struct Title {
        std::string text;
        bool kept;
    };
    struct Case {
        const char* what;
        std::string include, exclude;
        std::vector<Title> titles;
    } cases[] = {
        {"no keywords keep everything", "", "", {{Gbk("随便什么"), true}, {"", true}}},
        {"case and full width ignored on both sides",
         Gbk("ps5\nＸｂｏｘ"),
         "",
         {{Gbk("新款PS5到货"), true},
          {Gbk("新款ＰＳ５到货"), true},
          {Gbk("xbox 促销"), true},
          {Gbk("PS4 二手"), false},
          {"", false}}},
        {"an ideographic space is a space", "a b", "", {{Gbk("a　b"), true}, {"ab", false}}},
        {"plain and regular expressions",
         Gbk("相机\n/二手.*镜头/\n/iPhone\\s*1\\d/"),
         "",
         {{Gbk("出售相机一台"), true},
          {Gbk("二手佳能镜头"), true},
          {Gbk("镜头二手"), false},
          {Gbk("IPHONE 15 到货"), true},
          {Gbk("iphone９"), false}}},
        {"exclude wins",
         Gbk("招标"),
         Gbk("结果公示\n/^\\[置顶\\]/"),
         {{Gbk("某项目招标公告"), true},
          {Gbk("某项目招标结果公示"), false},
          {Gbk("［置顶］招标公告"), false},
          {Gbk("招标公告[置顶]"), true},
          {Gbk("结果公示"), false}}},
        {"exclude alone",
         "",
         Gbk("广告"),
         {{Gbk("广告贴"), false}, {Gbk("正文"), true}, {"", true}}},
        // A1 B0 is a character; in B0A1 B0CB its bytes stand across two characters.
        {"a GBK character boundary is never crossed",
         "\xA1\xB0\n/\xCB\xB0/",
         "",
         {{"\xB0\xA1\xB0\xCB", false},
          {"x\xA1\xB0", true},
          {"\xB0\xCB\xB0", false},
          {"\xCB\xB0", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const KeywordFilter filter(SchemeFields{c.include, c.exclude, false});
        ASSERT_EQ(filter.Problem(), "");
        EXPECT_EQ(filter.Active(), !c.include.empty() || !c.exclude.empty());
        for (const Title& title : c.titles) {
            EXPECT_EQ(filter.Keeps(title.text), title.kept) << GbkToUtf8(title.text);
        }
    }
}

TEST(KeywordFilter, RefusesKeywordsItCannotUse) {
    struct Case {
        std::string keyword;
        std::string problem;  // empty: fine; else the message up to its end or its ": " detail
    } cases[] = {
        {Gbk("相机"), ""},
        {Gbk("/二手.*镜头/"), ""},
        {"/", ""},
        {"/a", ""},
        {"/a.*b.*c/", ""},
        {"", "keyword \"\": a keyword cannot be empty or only blanks"},
        {" \t", "keyword \" \t\": a keyword cannot be empty or only blanks"},
        {Gbk("　"), "keyword \"　\": a keyword cannot be empty or only blanks"},
        {"//", "keyword \"//\": the regular expression is empty"},
        {"/(/", "keyword \"/(/\": the regular expression does not compile: "},
        {"/[/", "keyword \"/[/\": the regular expression does not compile: "},
        {"/(a+)+$/", "keyword \"/(a+)+$/\": the regular expression could run away on a long title"},
        {"/^(\\w+\\s?)*$/",
         "keyword \"/^(\\w+\\s?)*$/\": the regular expression could run away on a long title"},
        {Gbk("/(标|标题|题)+$/"),
         "keyword \"/(标|标题|题)+$/\": the regular expression could run away on a long title"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(GbkToUtf8(c.keyword));
        const std::string problem = KeywordProblem(c.keyword);
        if (c.problem.empty() || c.problem.back() != ' ') {
            EXPECT_EQ(problem, c.problem);
        } else {
            EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem);
            EXPECT_GT(problem.size(), c.problem.size()) << "Boost's reason follows";
        }
        // In a list, and in a filter, which then keeps no title.
        const std::string list = Gbk("相机\r\n\n") + c.keyword + "\n";
        EXPECT_EQ(KeywordListProblem(list), c.keyword.empty() ? "" : problem);
        const KeywordFilter filter(SchemeFields{"", list, false});
        EXPECT_EQ(filter.Problem(), KeywordListProblem(list));
        EXPECT_EQ(filter.Keeps(Gbk("标题")), problem.empty() || c.keyword.empty());
    }
}

}  // namespace
}  // namespace vela
