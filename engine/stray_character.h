#pragma once

#include <optional>
#include <string_view>

// A small lexer of TOML's strings and comments, run over a scheme file before the
// TOML parser sees it (see toml_shield.h).

namespace vela {

// The first character of `text` that the reader names itself before toml++ sees
// the file: one that is not ASCII and stands outside every string and comment
// (never valid TOML, since a bare key is ASCII, and easily typed by mistake: a
// full-width full stop after a number), or one beyond ASCII that starts an escape
// or follows the line-ending backslash of a multi-line string (toml++ asks of it
// whether it is a blank). A quote opens a string only where a string can stand
// (after "=", "[", "{", ",", "." or at the start of a line), as the parser reads
// it: 1"x… is a number followed by stray characters. `line` receives its line.
// Malformed UTF-8 is left to the parser, which stops there.
std::optional<std::string_view> StrayCharacter(std::string_view text, int& line);

}  // namespace vela
