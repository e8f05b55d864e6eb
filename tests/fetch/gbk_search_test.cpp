#include "fetch/gbk_search.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/fetch/gbk_reference.h"

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

using test::SteppingFind;

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

// Long random texts, so that the vector scan and the boundary decisions behind it
// run on every alignment, and scans that go on from each result the way the
// callers do: behind the occurrence (also when the needle ends in a lone lead
// byte, so the next start lies inside a character), one byte on, or further.
TEST(GbkScanner, AgreesWithSteppingFromEachStart) {
    const std::vector<std::string> pieces = {"a",
                                             "A",
                                             "b",
                                             "[",
                                             "]",
                                             "<",
                                             "\r",
                                             "\n",
                                             "\r\n",
                                             "\x81",
                                             "\xB0[",
                                             "\xB0]",
                                             "\xD6\xD0",
                                             "\xA1\xA1",
                                             "\xB0"
                                             "a",
                                             "\xB0"
                                             "A",
                                             "  "};
    std::mt19937 random(4711);
    for (int round = 0; round < 4000; ++round) {
        SCOPED_TRACE(round);
        const std::string text = test::RandomPieces(random, pieces, 1 + random() % 200);
        // Half of the needles are cut out of the text, so that they occur.
        std::string needle = test::RandomPieces(random, pieces, 1 + random() % 3);
        if (random() % 2 && !text.empty()) {
            const std::size_t at = random() % text.size();
            needle = text.substr(at, 1 + random() % 6);
        }
        if (needle.empty()) continue;
        const bool ignoreCase = random() % 2;
        std::size_t pos = random() % 3 == 0 ? random() % (text.size() + 1) : 0;
        GbkScanner scanner(text, needle, pos, ignoreCase);
        for (int step = 0; step < 50; ++step) {
            const std::size_t got = scanner.FindFrom(pos);
            ASSERT_EQ(got, SteppingFind(text, needle, pos, ignoreCase))
                << "text " << ::testing::PrintToString(text) << " needle "
                << ::testing::PrintToString(needle) << " pos " << pos << " ignoreCase "
                << ignoreCase;
            if (got == kNotFound) {
                // Nothing more from here; a later start may still find one.
                if (random() % 2) break;
                pos += 1 + random() % 8;
                continue;
            }
            switch (random() % 5) {
                case 0:
                    pos = got + needle.size();
                    break;
                case 1:
                    pos = got + 1;
                    break;
                case 2:
                    break;  // the same start again
                case 3:
                    pos += 1;  // may lie before the occurrence just found
                    break;
                default:
                    pos = got + random() % 40;
            }
        }
    }
}

// Texts full of near misses: the candidates stop being worth checking one by one
// and the scan goes on with the automaton, which must agree as well.
TEST(GbkScanner, AgreesWithSteppingOnNearMisses) {
    std::mt19937 random(99);
    const std::string units[] = {"a",
                                 "aA",
                                 "\x81"
                                 "a",
                                 "\x81"
                                 "A",
                                 "a\x81",
                                 "\xB0[",
                                 "[\xB0"};
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const std::string& unit = units[random() % std::size(units)];
        std::string text;
        while (text.size() < 3000) text += unit;
        // A rare slip every now and then shifts the stepping.
        for (int k = 0; k < 5; ++k) text[random() % text.size()] = "\x81[aAb"[random() % 5];
        std::string needle;
        for (std::size_t k = 0, n = 8 + random() % 60; k < n; ++k) needle += unit;
        needle += random() % 2 ? "b" : unit.substr(0, 1);
        const bool ignoreCase = random() % 2;
        std::size_t pos = random() % 5;
        GbkScanner scanner(text, needle, pos, ignoreCase);
        for (int step = 0; step < 200; ++step) {
            const std::size_t got = scanner.FindFrom(pos);
            ASSERT_EQ(got, SteppingFind(text, needle, pos, ignoreCase))
                << "unit " << ::testing::PrintToString(unit) << " needle size " << needle.size()
                << " pos " << pos << " ignoreCase " << ignoreCase;
            if (got == kNotFound) break;
            pos = got + 1 + (random() % 8 == 0 ? random() % 300 : random() % 3);
        }
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
