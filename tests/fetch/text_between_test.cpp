#include "fetch/text_between.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vela
