#include "fetch/encoding.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string in;
    std::string out;
};

TEST(Utf8ToGbk, Cases) {
    const Case cases[] = {
        {"empty", "", ""},
        {"ascii", "abc <a href>", "abc <a href>"},
        {"chinese", "中文", "\xD6\xD0\xCE\xC4"},
        {"full-width space", "\xE3\x80\x80", "\xA1\xA1"},
        {"euro is 0x80", "\xE2\x82\xAC", "\x80"},
        {"no gbk code", "a\xF0\x9F\x98\x80z", "a?z"},
        {"stray continuation", "a\x80z", "a?z"},
        {"truncated sequence", "a\xE4\xB8", "a?"},
        {"truncated then ascii", "\xE4\xB8z", "?z"},
        {"overlong", "\xC0\xAFz", "?z"},
        {"surrogate", "\xED\xA0\x80z", "?z"},
        {"zero byte ends text", "ab\0cd"s, "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.in), c.out);
    }
}

TEST(GbkToUtf8, Cases) {
    const Case cases[] = {
        {"empty", "", ""},
        {"chinese", "\xD6\xD0\xCE\xC4", "中文"},
        {"lone lead byte at end", "ab\xD6", "ab?"},
        {"invalid lead byte keeps the ascii after it",
         "\xFF"
         "a",
         "?a"},
        {"zero byte ends text", "a\0b"s, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GbkToUtf8(c.in), c.out);
    }
}

TEST(Encoding, RoundTripOfEveryTwoByteCode) {
    // Every code GBK defines survives GBK -> UTF-8 -> GBK unchanged.
    int defined = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            std::string utf8 = GbkToUtf8(gbk);
            if (utf8.find('?') != std::string::npos) continue;
            ++defined;
            ASSERT_EQ(Utf8ToGbk(utf8), gbk) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GT(defined, 21000);
}

TEST(BytesToText, StopsAtZeroByte) {
    EXPECT_EQ(BytesToText("ab\0cd"s), "ab");
    EXPECT_EQ(BytesToText("abcd"), "abcd");
}

}  // namespace
}  // namespace vela
