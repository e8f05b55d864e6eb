#pragma once

#include <string>

namespace vela {

// Makes a page text safe inside a single-quoted SQL literal: doubles apostrophes,
// turns ";", "(" and ")" into their full-width GBK forms and removes CR LF pairs.
// Works byte by byte: every byte sought is ASCII below 0x40, which is never the
// second byte of a GBK character, and a stray lead byte before an apostrophe must
// not hide it. Updates `text` and returns a copy.
std::string SqlClean(std::string& text);

// Doubles every apostrophe, byte by byte, so that any text stays inside its literal.
std::string SqlQuote(const std::string& text);

}  // namespace vela
