#pragma once

#include <boost/regex.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "keyword_text.h"

namespace vela {

// Boost's traits for keyword units with the case fold of the icase option kept to
// ASCII letters, as AsciiFoldRegexTraits does for page patterns: a unit above
// 0x7F is a GBK character, never a letter of another script.
struct KeywordRegexTraits : boost::regex_traits<KeywordUnit> {
    KeywordUnit translate(KeywordUnit c, bool icase) const {
        return icase && c >= 'A' && c <= 'Z' ? static_cast<KeywordUnit>(c + ('a' - 'A')) : c;
    }
    KeywordUnit translate(KeywordUnit c) const { return c; }
    KeywordUnit translate_nocase(KeywordUnit c) const { return translate(c, true); }
};

// The most characters of a title a keyword's expression looks at (4 KiB of GBK
// text; no real title is longer), which bounds what one search can cost.
inline constexpr std::size_t kKeywordRegexLimit = 2048;

// A keyword written /.../: a regular expression in perl syntax over the folded
// units of a title (keyword_text.h), case ignored. Each GBK character is one unit,
// so "." is a whole character and a match starts and ends where characters do.
class KeywordRegex {
public:
    // Compiles the expression between the slashes (GBK). Its full-width letters,
    // digits and punctuation and its ideographic spaces are read as their ASCII
    // forms, as a title's are (punctuation as the literal character it is). On
    // failure `error` says why in Boost's words.
    bool Compile(std::string_view pattern, std::string& error);
    // Whether the expression could run away on a long title: a search of a few
    // crafted texts, built of its own characters, met Boost's complexity limit.
    bool RunsAway() const;
    // Whether it matches somewhere in the first kKeywordRegexLimit of `units`; a
    // search that gives up (complexity or memory) finds nothing.
    bool Search(const KeywordUnit* units, std::size_t size) const;
    // Folded units that every match holds in a row, for a quick test that rules a
    // title out before the search; empty when the expression promises none.
    const KeywordUnits& RequiredUnits() const { return required_; }

private:
    std::optional<boost::basic_regex<KeywordUnit, KeywordRegexTraits>> regex_;
    KeywordUnits pattern_;
    KeywordUnits required_;
};

}  // namespace vela
