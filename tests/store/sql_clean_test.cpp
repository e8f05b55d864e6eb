#include "store/sql_clean.h"

#include <gtest/gtest.h>

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

TEST(SqlQuote, DoublesEveryApostropheOnly) {
    EXPECT_EQ(SqlQuote("a'b''c;(x)"), "a''b''''c;(x)");
    EXPECT_EQ(SqlQuote("\xD6'"), "\xD6''");
}

}  // namespace
}  // namespace vela
