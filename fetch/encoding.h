#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between the byte forms the program meets: page bodies in UTF-8 or
// GBK, and the GBK text every other part of the program works in.

namespace vela {

// The bytes up to, not including, the first zero byte. Taken by value so that a
// page handed over with std::move is cut in place instead of copied.
std::string BytesToText(std::string bytes);

// UTF-8 bytes to GBK text (code page 936). Each malformed UTF-8 sequence and
// each character without a GBK code becomes "?"; neither stops the conversion.
// The Unicode tag characters (U+E0000 to U+E007F), which the converter skips,
// give nothing. A zero byte ends the text.
std::string Utf8ToGbk(std::string_view bytes);

// GBK text to UTF-8, for showing it. A byte sequence without a Unicode form
// (a lone lead byte, an unassigned code) becomes "?". A zero byte ends the text.
std::string GbkToUtf8(std::string_view gbk);
// The whole of a stored GBK text as UTF-8, for showing or sending it: a zero byte
// becomes "?" as a sequence without a Unicode form does, and neither ends it.
std::string GbkTextToUtf8(std::string_view gbk);

// Appends the UTF-8 form of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// Writes the GBK form of one code point to `out`, which has room for two bytes,
// as Utf8ToGbk converts it: "?" when GBK has no code for it (a surrogate, a value
// past U+10FFFF, U+FFFD, a zero), nothing for a character the converter skips.
// Returns the number of bytes written.
std::size_t CodePointToGbk(char32_t cp, char* out);

// A fixed text of the program, written in UTF-8 in the source, as GBK bytes.
inline std::string Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

}  // namespace vela
