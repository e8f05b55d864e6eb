#pragma once

#include <string>
#include <string_view>

// Reading pieces of a page's GBK source the way the finder measures them.

namespace vela {

// `gbk` with its character references decoded and nothing else changed.
std::string DecodedReferences(std::string_view gbk);

// Columns the GBK text takes on a screen: 1 for each single-byte character, 2 for
// each double-byte one (a Chinese character is as wide as two letters).
int DisplayWidth(std::string_view gbk);

// True when the text holds digits and nothing else but blanks and punctuation
// ("12", "[3]", "..."): a page number, not a title.
bool IsNumberLike(std::string_view gbk);

// True when reading the source changes it: a tag, a reference or blanks to fold.
bool NeedsReading(std::string_view source);

}  // namespace vela
