#include "fetch/gbk_search.h"

#include <gtest/gtest.h>

#include <random>

namespace vela {
namespace {

using namespace std::string_literals;

// "\xB0[" and "\xB0]" are Chinese characters whose trail byte is a bracket.
TEST(GbkFind, MatchesStartOnlyOnCharacterBoundaries) {
    struct Case {
        const char* name;
        std::string text;
        std::string needle;
        std::size_t from;
        bool ignoreCase;
        std::size_t expected;
    };
    const Case cases[] = {
        {"ascii", "abcabc", "ca", 0, false, 2},
        {"restart inside a partial match", "aab", "ab", 0, false, 1},
        {"from", "abcabc", "abc", 1, false, 3},
        {"from beyond the text", "abc", "a", 3, false, kNotFound},
        {"empty needle", "abc", "", 1, false, 1},
        {"empty needle at the end", "abc", "", 3, false, kNotFound},
        {"trail byte is not a bracket", "\xB0[x[", "[", 0, false, 3},
        {"only inside a character", "\xB0[\xB0]", "[", 0, false, kNotFound},
        {"trail byte quote", "\xB0\"\"", "\"", 0, false, 2},
        {"unaligned hit then aligned one", "\xB0[[[", "[[", 0, false, 2},
        {"only an unaligned hit", "\xB0[[", "[[", 0, false, kNotFound},
        {"chinese needle", "a\xD6\xD0\xCE\xC4", "\xCE\xC4", 0, false, 3},
        {"chinese needle across characters", "\xD6\xD0\xCE\xC4", "\xD0\xCE", 0, false, kNotFound},
        {"steps from the start position", "\xD6\xD0\xCE\xC4", "\xD0\xCE", 1, false, 1},
        {"lone lead byte at the end", "ab\xD6", "\xD6", 0, false, 2},
        {"ignore case", "xUSER-AGENT:", "User-Agent:", 0, true, 1},
        {"case matters by default", "xUSER-AGENT:", "User-Agent:", 0, false, kNotFound},
        {"trail bytes are not folded",
         "\x81"
         "A\x81"
         "a",
         "\x81"
         "a",
         0, true, 2},
        {"zero bytes are bytes", "a\0b"s, "\0b"s, 0, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GbkFind(c.text, c.needle, c.from, c.ignoreCase), c.expected);
    }
}

// The search as the rule states it: step character by character from `from` and
// compare at each step. Quadratic, and obviously right.
std::size_t SteppingFind(const std::string& text, const std::string& needle, std::size_t from,
                         bool ignoreCase) {
    const auto fold = [&](std::string s) {
        for (std::size_t i = 0; i < s.size(); i += GbkCharLength(s, i)) {
            if (ignoreCase && s[i] >= 'A' && s[i] <= 'Z') s[i] += 'a' - 'A';
        }
        return s;
    };
    const std::string n = fold(needle);
    for (std::size_t i = from; i < text.size(); i += GbkCharLength(text, i)) {
        if (fold(text.substr(i)).compare(0, n.size(), n) == 0 && i + n.size() <= text.size()) {
            return i;
        }
    }
    return kNotFound;
}

TEST(GbkFind, AgreesWithCharacterSteppingOnRandomText) {
    // Few distinct bytes, so that near misses, overlaps and lead bytes in front of
    // marker bytes are everywhere.
    const std::string alphabet = "aAb[\x81\xA1";
    std::mt19937 random(20240601);
    const auto randomText = [&](std::size_t maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s) c = alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string text = randomText(24);
        const std::string needle = randomText(4);
        const std::size_t from = random() % (text.size() + 2);
        const bool ignoreCase = random() % 2;
        ASSERT_EQ(GbkFind(text, needle, from, ignoreCase),
                  needle.empty() ? (from < text.size() ? from : kNotFound)
                                 : SteppingFind(text, needle, from, ignoreCase))
            << "text " << ::testing::PrintToString(text) << " needle "
            << ::testing::PrintToString(needle) << " from " << from << " ignoreCase " << ignoreCase;
    }
}

TEST(GbkScanner, FindsOverlappingOccurrencesInOnePass) {
    const std::string text = "aaaa";
    GbkScanner scanner(text, "aa");
    EXPECT_EQ(scanner.FindFrom(0), 0u);
    EXPECT_EQ(scanner.FindFrom(0), 0u);
    EXPECT_EQ(scanner.FindFrom(1), 1u);
    EXPECT_EQ(scanner.FindFrom(3), kNotFound);
}

TEST(GbkTrim, RemovesOnlyAsciiAndFullWidthSpaces) {
    const std::pair<std::string, std::string> cases[] = {
        {"  a b  ", "a b"},
        {"\xA1\xA1 a\xA1\xA1", "a"},
        {"\ta\r\n", "\ta\r\n"},
        {"   ", ""},
        {"", ""},
        // B0 A1 is a character; the A1 after it is alone, not half a space.
        {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},
        {"a\xB0\xA1\xA1\xA1", "a\xB0\xA1"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(GbkTrim(in), out);
    }
}

TEST(GbkSplit, EachSeparatorClosesAPiece) {
    using Pieces = std::vector<std::string_view>;
    EXPECT_EQ(GbkSplit("a;b", ";"), (Pieces{"a", "b"}));
    EXPECT_EQ(GbkSplit("a;;b;", ";"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(GbkSplit(";", ";"), (Pieces{""}));
    EXPECT_EQ(GbkSplit("", ";"), Pieces{});
    EXPECT_EQ(GbkSplit("a; b; c", "; "), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(GbkSplit("\xB0;a;b", ";"), (Pieces{"\xB0;a", "b"}));
}

TEST(GbkReplaceAll, ReplacesLeftToRightWithoutOverlap) {
    EXPECT_EQ(GbkReplaceAll("set-cookie: a\r\nSET-COOKIE: b", "Set-Cookie", "Set-Cookie", true),
              "Set-Cookie: a\r\nSet-Cookie: b");
    EXPECT_EQ(GbkReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(GbkReplaceAll("\xB0#x#", "#", "\""), "\xB0#x\"");
}

}  // namespace
}  // namespace vela
