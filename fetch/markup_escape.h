#pragma once

#include <string>
#include <string_view>

// The one escaping function for XML and HTML: feeds, the web view's pages and a
// message in Telegram's HTML mode. Whatever a title holds, it stays text.

namespace vela {

// What a control character other than tab, CR and LF becomes (those three
// always become blanks).
enum class ControlCharacters {
    Replaced,  // U+FFFD, which shows that something was there (feeds, pages)
    Blanks,    // a blank, as every other text of a message has it
};

// Appends UTF-8 `utf8` escaped for XML 1.0 and HTML alike: character data and
// quoted attribute values. & < > " ' become references; a control character
// (C0, DEL, C1) becomes what `controls` says; each byte of a malformed UTF-8
// sequence, and U+FFFE and U+FFFF, which XML cannot carry and HTML calls errors,
// become U+FFFD.
void AppendMarkupEscaped(std::string& out, std::string_view utf8, ControlCharacters controls);
std::string MarkupEscaped(std::string_view utf8, ControlCharacters controls);

}  // namespace vela
