#include "fetch/text_between.h"

#include <gtest/gtest.h>

#include <random>

#include "fetch/gbk_search.h"
#include "tests/fetch/gbk_reference.h"

namespace vela {
namespace {

TEST(TextBetween, Cases) {
    struct Case {
        const char* name;
        std::string text, begin, end;
        std::size_t start;
        bool ignoreCase;
        std::string expected;
    };
    const Case cases[] = {
        {"first begin, next end", "<b>x</b><b>y</b>", "<b>", "</b>", 0, false, "x"},
        {"begin missing", "abc", "[", "]", 0, false, ""},
        {"end missing after begin", "]a[b", "[", "]", 0, false, ""},
        {"empty begin", "ab]c]", "", "]", 0, false, "ab"},
        {"empty end", "[ab]", "[", "", 0, false, ""},
        {"adjacent markers", "x[]y", "[", "]", 0, false, ""},
        {"quote token", "href=\"/a\" x", "href=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false,
         "/a"},
        {"1-based start", "[a][b]", "[", "]", 4, false, "b"},
        {"start 1 is the beginning", "[a][b]", "[", "]", 1, false, "a"},
        {"start beyond the text", "[a]", "[", "]", 9, false, ""},
        {"ignore case", "<B>x</b>", "<b>", "</B>", 0, true, "x"},
        {"case matters by default", "<B>x</b>", "<b>", "</B>", 0, false, ""},
        // The brackets inside "\xB0[" and "\xB0]" are trail bytes, not markers.
        {"trail bytes are no markers", "\xB0[x]\xB0]y[z\xB0]]", "[", "]", 0, false, "z\xB0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextBetween(c.text, c.begin, c.end, c.start, c.ignoreCase), c.expected);
    }
}

TEST(TextsBetween, Cases) {
    using Items = std::vector<std::string>;
    struct Case {
        const char* name;
        std::string text, begin, end;
        Items expected;
    };
    const Case cases[] = {
        {"two placeholders", "http://x/?a=[1]&b=[2]", "[", "]", {"1", "2"}},
        {"empty and blank pairs skipped", "[][ \xA1\xA1][3]", "[", "]", {"3"}},
        {"unclosed pair ends the scan", "[1][2", "[", "]", {"1"}},
        {"nested brackets", "[[1]]", "[", "]", {"[1"}},
        {"an end opens the next pair", "|a|b|", "|", "|", {"a", "b"}},
        {"ignores case by default", "<B>x</b><b>y</B>", "<b>", "</b>", {"x", "y"}},
        {"trail bytes are no markers", "\xB0[x][1\xB0]]", "[", "]", {"1\xB0]"}},
        {"empty begin stops after one pair", "a]b]", "", "]", {"a"}},
        {"empty end finds only empty items", "[a[b", "[", "", {}},
        // The end marker is searched stepping from behind the begin marker, as in
        // TextBetween: here the "]" right behind the lone lead byte closes the pair.
        {"begin ending in a lead byte", "\x81]1]\x81 2]", "\x81", "]", {"2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Items items{"stale"};
        EXPECT_EQ(TextsBetween(c.text, c.begin, c.end, items), c.expected.size());
        EXPECT_EQ(items, c.expected);
    }
}

TEST(TextsBetween, Options) {
    std::vector<std::string> items;
    EXPECT_EQ(TextsBetween("<B>x</b>", "<b>", "</b>", items, true), 0u);

    TextsBetween("[ab][abcd][]", "[", "]", items, false, 0, "<", ">");
    EXPECT_EQ(items, (std::vector<std::string>{"<ab>", "<abcd>", "<>"}));

    // With the markers back on, "[ab]" is 4 bytes and "[abcd]" 6: only the first is
    // shorter than 5.
    TextsBetween("[ab][abcd]", "[", "]", items, false, 5, "", "", true, true);
    EXPECT_EQ(items, (std::vector<std::string>{"[ab]"}));

    TextsBetween("[1][2][3]", "[", "]", items, false, 0, "", "", false, false, 4);
    EXPECT_EQ(items, (std::vector<std::string>{"2", "3"}));
}

TEST(TextsBetween, ProcessesPendingMessagesAfterEachPair) {
    std::vector<std::string> items;
    int calls = 0;
    TextsBetween("[1][][2]x", "[", "]", items, false, 0, "", "", false, false, 0, [&] { ++calls; });
    EXPECT_EQ(calls, 3);
}

// The two operations as their rules state them, each search stepping through the
// characters from where it starts.
std::string SteppingTextBetween(const std::string& text, const std::string& begin,
                                const std::string& end, std::size_t start, bool ignoreCase) {
    const auto quotes = [](const std::string& marker) {
        const std::string token = "#\xD2\xFD\xBA\xC5";
        std::string out;
        for (std::size_t i = 0; i < marker.size();) {
            if (marker.compare(i, token.size(), token) == 0) {
                out += '"';
                i += token.size();
            } else {
                const std::size_t len = GbkCharLength(marker, i);
                out += marker.substr(i, len);
                i += len;
            }
        }
        return out;
    };
    const std::string open = quotes(begin);
    const std::string close = quotes(end);
    const std::size_t p = test::SteppingFind(text, open, start <= 1 ? 0 : start - 1, ignoreCase);
    if (p == kNotFound) return "";
    const std::size_t s = p + open.size();
    const std::size_t q = test::SteppingFind(text, close, s, ignoreCase);
    return q == kNotFound ? "" : text.substr(s, q - s);
}

std::vector<std::string> SteppingTextsBetween(const std::string& text, const std::string& begin,
                                              const std::string& end, bool caseSensitive,
                                              std::size_t maxLength, const std::string& prefix,
                                              const std::string& suffix, bool withBegin,
                                              bool withEnd, std::size_t start) {
    std::vector<std::string> items;
    std::size_t pos = start <= 1 ? 0 : start - 1;
    for (;;) {
        const std::size_t p = test::SteppingFind(text, begin, pos, !caseSensitive);
        if (p == kNotFound) break;
        const std::size_t s = p + begin.size();
        const std::size_t q = test::SteppingFind(text, end, s, !caseSensitive);
        // An empty begin marker would find the same pair for ever.
        if (q == kNotFound || q == pos) break;
        std::string item = prefix + GbkTrim(text.substr(s, q - s)) + suffix;
        if (!item.empty()) {
            if (withBegin) item = begin + item;
            if (withEnd) item += end;
            if (maxLength == 0 || item.size() < maxLength) items.push_back(item);
        }
        pos = q;
    }
    return items;
}

// Markers made of the same pieces as the text, so that they occur, overlap, end in
// a lone lead byte or have a trail byte that equals a marker byte.
const std::vector<std::string> kPieces = {"[",
                                          "]",
                                          "a",
                                          "A",
                                          "b",
                                          " ",
                                          "\xA1\xA1",
                                          "\r",
                                          "\n",
                                          "\r\n",
                                          "\x81",
                                          "\xB0[",
                                          "\xB0]",
                                          "\xD6\xD0",
                                          "\xB0"
                                          "a",
                                          "\"",
                                          "#\xD2\xFD\xBA\xC5"};

TEST(TextBetween, AgreesWithSteppingOnRandomText) {
    std::mt19937 random(1234);
    for (int round = 0; round < 10000; ++round) {
        const std::string text = test::RandomPieces(random, kPieces, 60);
        const std::string begin = test::RandomPieces(random, kPieces, 3);
        const std::string end = test::RandomPieces(random, kPieces, 3);
        const std::size_t start = random() % 4 ? 0 : random() % (text.size() + 3);
        const bool ignoreCase = random() % 2;
        const std::string expected = SteppingTextBetween(text, begin, end, start, ignoreCase);
        ASSERT_EQ(TextBetween(text, begin, end, start, ignoreCase), expected)
            << "text " << ::testing::PrintToString(text) << " begin "
            << ::testing::PrintToString(begin) << " end " << ::testing::PrintToString(end)
            << " start " << start << " ignoreCase " << ignoreCase;
        std::string cut = text;
        CutTextBetween(cut, begin, end, start, ignoreCase);
        ASSERT_EQ(cut, expected) << "cut in place";
    }
}

TEST(TextsBetween, AgreesWithSteppingOnRandomText) {
    std::mt19937 random(5678);
    for (int round = 0; round < 10000; ++round) {
        const std::string text = test::RandomPieces(random, kPieces, 1 + random() % 150);
        // Equal markers now and then, so that an end marker opens the next pair.
        const std::string begin = test::RandomPieces(random, kPieces, 1 + random() % 2);
        const std::string end =
            random() % 4 ? test::RandomPieces(random, kPieces, 1 + random() % 2) : begin;
        const bool caseSensitive = random() % 2;
        const std::size_t maxLength = random() % 3 ? 0 : random() % 12;
        const std::string prefix = random() % 4 ? "" : "<";
        const std::string suffix = random() % 4 ? "" : " ";
        const bool withBegin = random() % 4 == 0;
        const bool withEnd = random() % 4 == 0;
        const std::size_t start = random() % 4 ? 0 : random() % (text.size() + 3);
        std::vector<std::string> items{"stale"};
        const std::size_t count = TextsBetween(text, begin, end, items, caseSensitive, maxLength,
                                               prefix, suffix, withBegin, withEnd, start);
        const auto expected = SteppingTextsBetween(text, begin, end, caseSensitive, maxLength,
                                                   prefix, suffix, withBegin, withEnd, start);
        ASSERT_EQ(items, expected)
            << "text " << ::testing::PrintToString(text) << " begin "
            << ::testing::PrintToString(begin) << " end " << ::testing::PrintToString(end)
            << " caseSensitive " << caseSensitive << " start " << start;
        ASSERT_EQ(count, expected.size());
    }
}

}  // namespace
}  // namespace vela
