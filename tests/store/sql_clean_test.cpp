#include "store/sql_clean.h"

#include <gtest/gtest.h>

#include <random>

namespace vela {
namespace {

struct Case {
    const char* name;
    std::string in;
    std::string out;
};

TEST(SqlClean, Cases) {
    const Case cases[] = {
        {"apostrophe, parentheses, semicolon", "it's (new); ok",
         "it''s \xA3\xA8new\xA3\xA9\xA3\xBB ok"},
        {"CR LF removed, lone LF and CR kept", "a\r\nb\nc\rd", "ab\nc\rd"},
        {"CR LF built from neighbours is not re-examined", "\r\r\n\n", "\r\n"},
        {"GBK text untouched", "\xD6\xD0\xCE\xC4\xA1\xA1", "\xD6\xD0\xCE\xC4\xA1\xA1"},
        // A stray lead byte right before an apostrophe must not hide it.
        {"lead byte before apostrophe", "\xD6'x", "\xD6''x"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.in;
        EXPECT_EQ(SqlClean(text), c.out);
        EXPECT_EQ(text, c.out) << "the caller's variable is updated too";
    }
}

TEST(SqlClean, AgreesWithByteByByteCleaningOnRandomText) {
    const std::string pieces[] = {
        "'", ";", "(", ")", "\r", "\n", "\r\n", "a", "\xD6", "\xA3\xBB", std::string(1, '\0')};
    std::mt19937 random(8);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (std::size_t k = random() % 30; k > 0; --k)
            text += pieces[random() % std::size(pieces)];
        std::string expected;
        for (std::size_t i = 0; i < text.size(); ++i) {
            switch (text[i]) {
                case '\'':
                    expected += "''";
                    break;
                case ';':
                    expected += "\xA3\xBB";
                    break;
                case '(':
                    expected += "\xA3\xA8";
                    break;
                case ')':
                    expected += "\xA3\xA9";
                    break;
                case '\r':
                    if (i + 1 < text.size() && text[i + 1] == '\n') {
                        ++i;
                        break;
                    }
                    [[fallthrough]];
                default:
                    expected += text[i];
            }
        }
        std::string cleaned = text;
        ASSERT_EQ(SqlClean(cleaned), expected) << ::testing::PrintToString(text);
        ASSERT_EQ(cleaned, expected);
    }
}

TEST(SqlQuote, DoublesEveryApostropheOnly) {
    EXPECT_EQ(SqlQuote("a'b''c;(x)"), "a''b''''c;(x)");
    EXPECT_EQ(SqlQuote("\xD6'"), "\xD6''");
}

}  // namespace
}  // namespace vela
