#pragma once

#include <toml++/toml.h>

#include <string>
#include <string_view>

// The reader's shield around toml++. toml++ 3.3.0, the version Debian 12 ships,
// meets undefined behaviour (an "unreachable" point) when it asks whether some
// characters beyond ASCII are blanks: outside strings, after the line-ending
// backslash of a multi-line string, and wherever a number-like value scans ahead.
// Upstream made that lookup answer "no" for every such character in July 2026
// (in its repository, github.com/marzer/tomlplusplus); every release before that
// change needs this shield. Once the library the program builds with holds it,
// this unit and the stray character scan it calls can go, and the reader can call
// toml::parse directly.
//
// toml11 3.7.1, Debian 12's other TOML library, was tried in its place and would
// need a shield of its own: its parser recurses without a bound (a value of ten
// thousand "[" overflows the stack), and an overlong UTF-8 sequence in a literal
// string makes it compute a negative length for its error message (an assertion,
// or without assertions a huge allocation).

namespace vela {

struct ShieldedToml {
    bool ok = false;
    toml::table root;   // when ok; its texts and keys still hold stand-ins
    int line = 0;       // when not ok: where the file is wrong
    std::string error;  // when not ok: UTF-8, what is wrong
};

// Parses a whole file with the characters the parser cannot classify handed to it
// as stand-ins. Refused before parsing: a character beyond ASCII outside every
// string or starting an escape (StrayCharacter), and a character of the stand-ins'
// own plane. Never throws.
ShieldedToml ParseShielded(std::string_view bytes, std::string_view fileName);

// A text or key read from a parsed table, with its stand-ins turned back.
std::string WithoutStandIns(std::string_view text);

}  // namespace vela
