#include "fetch/utf8_decode.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

// Each case decodes at position 0, except where `pos` says otherwise.
TEST(Utf8Decode, CharactersAndMalformedSequences) {
    struct Case {
        const char* name;
        std::string text;
        char32_t code;  // U+FFFD for a malformed sequence
        std::size_t length;
        bool valid;
        std::size_t pos = 0;
    };
    const Case cases[] = {
        {"ASCII", "A", 'A', 1, true},
        {"zero byte", std::string("\0x", 2), 0, 1, true},
        {"two bytes, smallest", "\xC2\x80", 0x80, 2, true},
        {"two bytes, largest", "\xDF\xBF", 0x7FF, 2, true},
        {"three bytes, smallest", "\xE0\xA0\x80", 0x800, 3, true},
        {"Chinese", "\xE4\xB8\xAD", 0x4E2D, 3, true},
        {"before the surrogates", "\xED\x9F\xBF", 0xD7FF, 3, true},
        {"after the surrogates", "\xEE\x80\x80", 0xE000, 3, true},
        {"U+FFFF", "\xEF\xBF\xBF", 0xFFFF, 3, true},
        {"four bytes, smallest", "\xF0\x90\x80\x80", 0x10000, 4, true},
        {"largest", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
        {"in the middle", "a\xE4\xB8\xAD", 0x4E2D, 3, true, 1},
        // Refused: the length covers the lead byte and the continuation bytes
        // after it, at most as many as the lead byte announces.
        {"stray continuation", "\x80\x80", 0xFFFD, 1, false},
        {"overlong two bytes", "\xC0\xAF", 0xFFFD, 2, false},
        {"overlong two bytes, C1", "\xC1\xBF", 0xFFFD, 2, false},
        {"overlong three bytes", "\xE0\x80\xAF", 0xFFFD, 3, false},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", 0xFFFD, 4, false},
        {"surrogate", "\xED\xA0\x80", 0xFFFD, 3, false},
        {"last surrogate", "\xED\xBF\xBF", 0xFFFD, 3, false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0xFFFD, 4, false},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", 0xFFFD, 4, false},
        {"FF", "\xFF", 0xFFFD, 1, false},
        {"cut short at the end", "\xE4\xB8", 0xFFFD, 2, false},
        {"cut short by ASCII", "\xE4\xB8x", 0xFFFD, 2, false},
        {"lead byte before a lead byte", "\xC3\xC3\xA9", 0xFFFD, 1, false},
        {"at the end", "ab", 0xFFFD, 0, false, 2},
        {"past the end", "ab", 0xFFFD, 0, false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Utf8Char decoded = DecodeUtf8(c.text, c.pos);
        EXPECT_EQ(decoded.code, c.code);
        EXPECT_EQ(decoded.length, c.length);
        EXPECT_EQ(decoded.valid, c.valid);
    }
}

}  // namespace
}  // namespace vela
