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

// The unit of the character at `pos` of `gbk`, folded, and the bytes it takes.
KeywordUnit FoldedUnitAt(std::string_view gbk, std::size_t pos, std::size_t& length);

// The folded units of the first `limit` characters of `gbk`.
KeywordUnits FoldedUnits(std::string_view gbk, std::size_t limit = std::string_view::npos);

// Appends the GBK bytes of `unit`.
void AppendUnitBytes(std::string& gbk, KeywordUnit unit);

}  // namespace vela
