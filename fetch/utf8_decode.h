#pragma once

#include <cstddef>
#include <string_view>

// The one UTF-8 decoder of the program: page bodies on their way to GBK, texts
// escaped for feeds, pages and notification services, scheme files. It refuses
// what is not a character: overlong forms, surrogates and values past U+10FFFF.

namespace vela {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Utf8Char {
    char32_t code = kReplacementCharacter;  // U+FFFD when malformed
    // The bytes the character takes; for a malformed sequence its lead byte with
    // the continuation bytes that follow it, at most as many as the lead byte
    // announces (1 for a stray continuation byte).
    std::size_t length = 0;
    bool valid = false;
};

// The character that starts at `pos` of `text`; length 0 when `pos` is at or past
// the end. A caller that replaces each malformed sequence as one character steps
// on by `length`; one that replaces each byte of it steps on by one byte.
inline Utf8Char DecodeUtf8(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return {};
    const std::size_t n = text.size() - pos;
    const auto at = [&](std::size_t k) -> char32_t {
        return k < n ? static_cast<unsigned char>(text[pos + k]) : 0;
    };
    const auto follows = [](char32_t c) { return (c & 0xC0) == 0x80; };
    const char32_t c = at(0);
    if (c < 0x80) return {c, 1, true};
    // The ranges of the second byte leave out the overlong forms (E0 80-9F,
    // F0 80-8F), the surrogates (ED A0-BF) and what lies past U+10FFFF (F4 90-BF).
    if (c >= 0xC2 && c <= 0xDF && follows(at(1))) {
        return {(c & 0x1F) << 6 | (at(1) & 0x3F), 2, true};
    }
    if (c >= 0xE0 && c <= 0xEF && follows(at(1)) && follows(at(2)) &&
        !(c == 0xE0 && at(1) < 0xA0) && !(c == 0xED && at(1) >= 0xA0)) {
        return {(c & 0x0F) << 12 | (at(1) & 0x3F) << 6 | (at(2) & 0x3F), 3, true};
    }
    if (c >= 0xF0 && c <= 0xF4 && follows(at(1)) && follows(at(2)) && follows(at(3)) &&
        !(c == 0xF0 && at(1) < 0x90) && !(c == 0xF4 && at(1) >= 0x90)) {
        return {(c & 0x07) << 18 | (at(1) & 0x3F) << 12 | (at(2) & 0x3F) << 6 | (at(3) & 0x3F), 4,
                true};
    }
    const std::size_t announced = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    std::size_t length = 1;
    while (length < announced && follows(at(length))) ++length;
    return {kReplacementCharacter, length, false};
}

}  // namespace vela
