#pragma once

#include <optional>
#include <string>
#include <string_view>

// The texts of a scheme file: their exact conversion between the file's UTF-8 and
// the GBK the database stores, and how an error line shows them.

namespace vela {

// A text of the file (a key, a value) as a message shows it: control characters
// as "?", cut at 60 bytes on a character boundary.
std::string Shown(std::string_view utf8);

// A library's message (UTF-8) as an error line shows it: whole, since neither
// toml++ nor Boost quotes more than a few characters of the file, and with
// control characters as "?".
std::string ShownMessage(std::string_view utf8);

// The UTF-8 character at `i`, or an empty view when the bytes there are not one.
std::string_view Utf8CharAt(std::string_view text, std::size_t i, char32_t& cp);

// "U+XXXX" for one UTF-8 character.
std::string CodePointName(std::string_view utf8Char);

// The GBK form of a UTF-8 text of the file, exact: nullopt, with the first
// character that has none in `culprit`, when one has no GBK code (or shares its
// code with another character, so it would come back as that one).
std::optional<std::string> ExactGbk(std::string_view utf8, std::string& culprit);

// The UTF-8 form of a stored GBK text, exact: nullopt, with the offset and bytes
// of the first character that has none in `culprit`.
std::optional<std::string> ExactUtf8(std::string_view gbk, std::string& culprit);

}  // namespace vela
