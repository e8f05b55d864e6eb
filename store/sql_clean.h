#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vela {

// Makes a page text safe inside a single-quoted SQL literal: doubles apostrophes,
// turns ";", "(" and ")" into their full-width GBK forms and removes CR LF pairs.
// Works byte by byte: every byte sought is ASCII below 0x40, which is never the
// second byte of a GBK character, and a stray lead byte before an apostrophe must
// not hide it. Updates `text` and returns a copy.
std::string SqlClean(std::string& text);

// What SqlClean makes of `text`, written to `out`, which has room for
// 2 * text.size() bytes (no byte becomes more than two); returns the number
// written. Lets a caller clean many texts into one buffer of its own.
std::size_t SqlCleanTo(std::string_view text, char* out);

// The text the database holds once `cleaned` (SqlClean's output) has been stored
// inside a literal: each doubled apostrophe is one again. Every place that shows
// or sends a recorded article's title or other value takes it from here.
std::string StoredText(std::string_view cleaned);

// Doubles every apostrophe, byte by byte, so that any text stays inside its literal.
std::string SqlQuote(const std::string& text);
// The same, appended to `out`.
void AppendSqlQuoted(std::string& out, std::string_view text);

}  // namespace vela
