#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/markup_escape.h"

// Texts on their way into a feed, a page or a JSON answer. Everything stored is
// GBK bytes and may be hostile; everything sent is UTF-8 that a strict XML parser
// and a browser take as it is meant.

namespace vela {

// A stored GBK text as UTF-8. A byte sequence without a Unicode form and a zero
// byte each become "?", and neither ends the text.
std::string StoredUtf8(std::string_view gbk);

// Appends `utf8` escaped for XML 1.0 and HTML alike (fetch/markup_escape.h): a
// tab, line break or carriage return becomes a blank; every other control
// character, every malformed UTF-8 sequence and every code point XML cannot
// carry becomes U+FFFD.
inline void AppendEscaped(std::string& out, std::string_view utf8) {
    AppendMarkupEscaped(out, utf8, ControlCharacters::Replaced);
}
inline std::string Escaped(std::string_view utf8) {
    return MarkupEscaped(utf8, ControlCharacters::Replaced);
}

// A 64-bit digest (not cryptographic): the ETag of an answer, the identity of
// a database file.
uint64_t Digest64(std::string_view bytes);
// 16 lower-case hex digits.
std::string Hex64(uint64_t value);

}  // namespace vela
