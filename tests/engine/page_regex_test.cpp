#include "engine/page_regex.h"

#include <gtest/gtest.h>

#include "engine/article_id.h"
#include "engine/leading_integer.h"

namespace vela {
namespace {

std::vector<std::string> Group(const std::string& pattern, const std::string& text, int k) {
    PageRegex regex;
    regex.CompilePattern(pattern, false);
    std::vector<std::string> out;
    for (const auto& m : regex.FindAllMatches(text)) out.push_back(SubMatchText(m, text, k));
    return out;
}

using Texts = std::vector<std::string>;

TEST(PageRegex, FindsSuccessiveMatchesWithTheirGroups) {
    const std::string page = "<a href=\"/t/1\">One</a>\n<A HREF=\"/t/2\">Two</A>";
    const std::string pattern = "<a href=\"(.*?)\">(.*?)</a>";
    EXPECT_EQ(Group(pattern, page, 1), (Texts{"/t/1", "/t/2"})) << "case is ignored";
    EXPECT_EQ(Group(pattern, page, 2), (Texts{"One", "Two"}));
    EXPECT_EQ(Group(pattern, page, 3), (Texts{"", ""})) << "a group out of range is empty";
    EXPECT_EQ(Group(pattern, page, -1), (Texts{"", ""}));
    // Offsets count from the start of the whole text.
    PageRegex regex;
    regex.CompilePattern(pattern, false);
    auto matches = regex.FindAllMatches(page);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[1][1].start, static_cast<int32_t>(page.find("/t/2")));
    EXPECT_EQ(regex.CaptureGroupCount(), 2);
}

// Ignoring case folds ASCII letters only: GBK bytes match as they are, also the
// ones a Latin-1 locale would fold (C1 and E1), in literals, sets and ranges.
TEST(PageRegex, IgnoringCaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(Group("ab[c-e]", "ABD aBc", 0), (Texts{"ABD", "aBc"}));
    EXPECT_EQ(Group("\xC1\xE1", "\xE1\xC1 \xC1\xE1", 0), (Texts{"\xC1\xE1"}));
    EXPECT_EQ(Group("[\xC1]", "\xE1\xC1", 0), (Texts{"\xC1"}));
    EXPECT_EQ(Group("\xD6\xD0(\\w)", "\xD6\xD0X", 1), (Texts{"X"}));
}

TEST(PageRegex, EachSearchTakesItsStartAsTheTextStart) {
    EXPECT_EQ(Group("^a", "aaa", 0), (Texts{"a", "a", "a"}));
    EXPECT_EQ(Group("\\bx", "xxx", 0), (Texts{"x", "x", "x"}));
    // "." matches line ends; "^" matches after a newline.
    EXPECT_EQ(Group("a.b", "a\nb", 0), (Texts{"a\nb"}));
    EXPECT_EQ(Group("^c", "ab\ncd", 0), (Texts{"c"}));
}

// Every match as "start+length" per group ("-" for a group that took no part).
std::vector<std::string> Spans(const std::vector<MatchRecord>& matches) {
    std::vector<std::string> out;
    for (const MatchRecord& match : matches) {
        std::string line;
        for (const SubMatch& group : match) {
            line += group.matched
                        ? std::to_string(group.start) + "+" + std::to_string(group.length) + " "
                        : "- ";
        }
        out.push_back(line);
    }
    return out;
}

// The searches as Boost makes them from each match's end, with nothing skipped.
std::vector<MatchRecord> EverySearchFromTheLastEnd(const std::string& pattern,
                                                   const std::string& text, bool caseSensitive) {
    const boost::basic_regex<char, AsciiFoldRegexTraits> regex(
        pattern, caseSensitive ? boost::regex::perl : boost::regex::perl | boost::regex::icase);
    std::vector<MatchRecord> matches;
    auto position = text.begin();
    boost::smatch found;
    while (boost::regex_search(position, text.end(), found, regex, boost::match_default)) {
        MatchRecord& record = matches.emplace_back(found.size());
        for (std::size_t k = 0; k < found.size(); ++k) {
            record[k].matched = found[k].matched;
            if (found[k].matched) {
                record[k].start = static_cast<int32_t>(found[k].first - text.begin());
                record[k].length = static_cast<int32_t>(found.length(k));
            }
        }
        if (found.length(0) == 0) break;
        position = found[0].second;
    }
    return matches;
}

// A search may begin where the pattern's literal start stands: the matches stay
// those of searches from each match's end, whatever follows that start.
TEST(PageRegex, ASearchBegunAtTheLiteralStartFindsWhatEverySearchFinds) {
    const std::string board =
        "<tr><td>   <a href=\"/t/1\">One</a></td></tr>\r\n<TR><TD> <A HREF=\"/t/2\">Two</A>"
        "<a href=\"x\"> <a href=\"12\">";
    const struct {
        const char* pattern;
        std::string text;
    } cases[] = {
        {"<a href=\"(.*?)\">(.*?)</a>", board},
        {"<a href=\"(\\d+)\">", board},
        {"<TD> *<a", board},
        {"ab|cd", "xxcd ab cd"},
        {"ab(c|d)", "abd abc abe"},
        {"(ab|cd)x", "cdx abx"},
        {"ab*c", "ac abbc abx"},
        {"ab?c", "ac abc"},
        {"ab{2}c", "abbc abc"},
        {"a{2}", "aaaaa"},
        {"AB", "ab AB aB"},
        {"x\\bfoo", "x foo xfoo"},
        {"\\bfoo", "foo xfoo foo"},
        {"x\\>", "x xy x."},
        {"\\<ab", "ab cab ab"},
        {"\\.com", "x.com.com"},
        {"^ab", "ab\nab ab"},
        {"b(?<=ab)c", "abcbcabc"},
        {"c(?<=abc)d", "abcdabcdcdcd"},
        {"cd(?<=bcd)e", "bcdecdebcde"},
        {"a[|]b", "a|b ab"},
        {"a[[:alpha:]|]b", "a|b axb a1b"},
        {"a[]|]b", "a]b a|b"},
        {"a[](]|cd", "cd a] a("},
        {"a[[:alpha:](]|cd", "cd a( ax"},
        {"ab(?#()|cd", "cd ab"},
        {"ab(?x)#(\n|cd", "cd ab"},
        {"ab\\Q(\\E|cd", "cd ab("},
        {"a(*COMMIT)b", "xac ab"},
        {"a(?<=\\Ga)", "xa a"},
        {"q(?i)x", "qX QX"},
        {"\xD6\xD0(.)", "\xD6\xD0\xCE\xC4 \xB0\xD6\xD0X"},
        {"t(\\d)", "t1t2 T3"},
        {"a.c", "a\nc abc"},
    };
    for (const auto& c : cases) {
        for (const bool caseSensitive : {false, true}) {
            SCOPED_TRACE(::testing::Message() << c.pattern << (caseSensitive ? " (case)" : ""));
            PageRegex regex;
            ASSERT_TRUE(regex.CompilePattern(c.pattern, caseSensitive));
            EXPECT_EQ(Spans(regex.FindAllMatches(c.text)),
                      Spans(EverySearchFromTheLastEnd(c.pattern, c.text, caseSensitive)));
        }
    }
}

TEST(PageRegex, AnEmptyMatchEndsTheList) {
    EXPECT_EQ(Group("(\\d*)", "12ab34", 1), (Texts{"12", ""}));
    EXPECT_EQ(Group("x*", "abc", 0), (Texts{""}));
}

TEST(PageRegex, BadPatternsAndPagesNeverThrow) {
    PageRegex regex;
    EXPECT_FALSE(regex.CompilePattern("(unclosed", false));
    EXPECT_NE(regex.CompileError().find("parenthesis"), std::string::npos) << regex.CompileError();
    EXPECT_EQ(regex.CaptureGroupCount(), 0);
    EXPECT_TRUE(regex.FindAllMatches("anything").empty());
    EXPECT_TRUE(regex.CompilePattern("a", false));
    EXPECT_EQ(regex.CompileError(), "");
    EXPECT_TRUE(regex.FindAllMatches("").empty());
    EXPECT_EQ(regex.CaptureGroupCount(), 0);
    // Catastrophic backtracking hits Boost's complexity limit: caught, no matches.
    ASSERT_TRUE(regex.CompilePattern("(a*)*b", false));
    EXPECT_NO_THROW(regex.FindAllMatches(std::string(5000, 'a')));
    // GBK bytes: "." matches one byte; a pattern of GBK text matches its bytes.
    EXPECT_EQ(Group("\xD6\xD0(.)", "\xD6\xD0\xCE\xC4", 1), (Texts{"\xCE"}));
}

TEST(LeadingInteger, Cases) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"", 0},
        {"12", 12},
        {"  -7x", -7},
        {"+3", 3},
        {"abc", 0},
        {"\xA3\xB1\xA3\xB2", 12},
        {"\xA1\xA1"
         "5",
         5},
        {"1 2", 1},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483648LL},
        {"- 5", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(LeadingInteger(c.text), c.value) << c.text;
}

// Article ids: the cell reading above at any length, and compared as numbers.
TEST(ArticleId, ReadsAnyLengthAndComparesAsNumbers) {
    const struct {
        const char* text;
        const char* id;
        bool isNumber;
    } reads[] = {
        {"", "0", false},
        {"abc", "0", false},
        {"- 5", "0", false},
        {"0", "0", true},
        {"-000", "0", true},
        {"  007x", "7", true},
        {"+3", "3", true},
        {"\xA1\xA1-\xA3\xB1\xA3\xB0", "-10", true},
        {"4294967296123", "4294967296123", true},
        {"9223372036854775807", "9223372036854775807", true},
        {"9223372036854775808", "9223372036854775808", true},
        {"00099999999999999999999 ", "99999999999999999999", true},
        {"-99999999999999999999999", "-99999999999999999999999", true},
    };
    for (const auto& c : reads) {
        SCOPED_TRACE(c.text);
        bool isNumber = !c.isNumber;
        EXPECT_EQ(ArticleId::Read(c.text, &isNumber).Text(), c.id);
        EXPECT_EQ(isNumber, c.isNumber);
    }
    // In ascending order.
    const char* ascending[] = {"-100000000000000000000",
                               "-99999999999999999999",
                               "-10",
                               "-9",
                               "0",
                               "9",
                               "10",
                               "9223372036854775807",
                               "9223372036854775808",
                               "18446744073709551616",
                               "100000000000000000000"};
    for (std::size_t i = 0; i < std::size(ascending); ++i) {
        for (std::size_t j = 0; j < std::size(ascending); ++j) {
            SCOPED_TRACE(std::string(ascending[i]) + " against " + ascending[j]);
            EXPECT_EQ(ArticleId::Read(ascending[i]) <=> ArticleId::Read(ascending[j]), i <=> j);
        }
    }
    EXPECT_EQ(ArticleId(INT64_MIN).Text(), "-9223372036854775808");
}

}  // namespace
}  // namespace vela
