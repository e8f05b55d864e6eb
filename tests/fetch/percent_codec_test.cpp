#include "fetch/percent_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

bool NothingKept(unsigned char) { return false; }
bool SlashKept(unsigned char byte) { return IsUnreserved(byte) || byte == '/'; }

TEST(PercentCodec, EncodesWhatIsNotKeptAndDecodesItBack) {
    struct Case {
        std::string text;
        KeptByte keep;
        std::string encoded;
    };
    const Case cases[] = {
        {"aZ09-._~", &IsUnreserved, "aZ09-._~"},
        {"a b&c=d+e/f?%", &IsUnreserved, "a%20b%26c%3Dd%2Be%2Ff%3F%25"},
        {"中", &IsUnreserved, "%E4%B8%AD"},
        {std::string("\0\x7F\xFF", 3), &IsUnreserved, "%00%7F%FF"},
        {"a/b c", &SlashKept, "a/b%20c"},
        {"ab", &NothingKept, "%61%62"},
        {"", &IsUnreserved, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PercentEncode(c.text, c.keep), c.encoded);
        std::string out = "x";
        AppendPercentEncoded(out, c.text, c.keep);
        EXPECT_EQ(out, "x" + c.encoded);
        EXPECT_EQ(PercentDecode(c.encoded), c.text);
        EXPECT_EQ(PercentDecode(c.encoded, PlusSign::Blank), c.text);
    }
    // Every byte comes back.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(PercentDecode(PercentEncode(all)), all);
}

TEST(PercentCodec, DecodingLeavesWhatIsNoEscape) {
    struct Case {
        std::string text;
        std::string kept;   // PlusSign::Kept
        std::string blank;  // PlusSign::Blank
    };
    const Case cases[] = {
        {"%41%6a%6A", "Ajj", "Ajj"},
        {"a+b%2B", "a+b+", "a b+"},
        {"%", "%", "%"},
        {"%4", "%4", "%4"},
        {"100%", "100%", "100%"},
        {"%G1%1G", "%G1%1G", "%G1%1G"},
        {"%%41", "%A", "%A"},
        {"%2541", "%41", "%41"},  // decoded once only
        {"%00", std::string("\0", 1), std::string("\0", 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PercentDecode(c.text), c.kept);
        EXPECT_EQ(PercentDecode(c.text, PlusSign::Blank), c.blank);
    }
}

}  // namespace
}  // namespace vela
