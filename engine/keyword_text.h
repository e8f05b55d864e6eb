#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Titles and keywords as the keyword filter compares them: one unit per GBK
// character (an ASCII byte as itself, a double-byte character as lead * 256 +
// trail, a lone lead byte at the end as itself), so that a keyword can only ever
// match whole characters. Folded: ASCII letters in lower case, the full-width
// forms of ASCII (A3A1 to A3FE) as ASCII and the ideographic space (A1A1) as a
// space, so that "ＰＳ５" and "ps5" are the same text.

namespace vela {

using KeywordUnit = wchar_t;  // at least 16 bits, which every unit fits in
using KeywordUnits = std::wstring;

// The folded unit of a one-byte character, and of a double-byte one.
inline KeywordUnit FoldedSingle(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<KeywordUnit>(byte + ('a' - 'A')) : byte;
}
inline KeywordUnit FoldedDouble(unsigned char lead, unsigned char trail) {
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        return FoldedSingle(static_cast<unsigned char>(trail - 0xA1 + 0x21));
    }
    if (lead == 0xA1 && trail == 0xA1) return ' ';
    return static_cast<KeywordUnit>(lead << 8 | trail);
}

// The unit of the character at `pos` of `gbk`, folded, and the bytes it takes
// (a byte of 0x80 or above takes the byte after it, as GbkCharLength says).
inline KeywordUnit FoldedUnitAt(std::string_view gbk, std::size_t pos, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(gbk[pos]);
    length = lead < 0x80 || pos + 1 >= gbk.size() ? 1 : 2;
    return length == 1 ? FoldedSingle(lead)
                       : FoldedDouble(lead, static_cast<unsigned char>(gbk[pos + 1]));
}

// The folded units of the first `limit` characters of `gbk`.
KeywordUnits FoldedUnits(std::string_view gbk, std::size_t limit = std::string_view::npos);

// Appends the GBK bytes of `unit`.
void AppendUnitBytes(std::string& gbk, KeywordUnit unit);

}  // namespace vela
