#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Searching GBK text. A byte of 0x80 or above is taken together with the byte after
// it as one double-byte character, so a match only ever starts on a character
// boundary: the "[" that is the trail byte of a Chinese character is not a "[".
// Ignoring case folds the ASCII letters of single-byte characters only.
//
// Positions here are 0-based byte offsets; std::string::npos means "not found".
// Every search is linear in the text (KMP over bytes, with a boundary check).

namespace vela {

inline constexpr std::size_t kNotFound = std::string_view::npos;

// Length of the character at `pos`: 2 for a byte of 0x80 or above that has a byte
// after it, otherwise 1.
inline std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
}

// Finds the occurrences of one needle in one text, in increasing order, with the
// character boundaries counted from `from`. Successive FindFrom calls must not go
// backwards; together they scan the text once, so a loop over all markers of a
// page stays linear however the markers overlap.
class GbkScanner {
public:
    GbkScanner(std::string_view text, std::string_view needle, std::size_t from = 0,
               bool ignoreCase = false);

    // First occurrence that starts at or after `pos`. An empty needle is found at
    // `pos` when `pos` is inside the text.
    std::size_t FindFrom(std::size_t pos);

private:
    std::string_view text_;
    std::string pattern_;  // the needle, folded where case is ignored
    std::vector<std::size_t> failure_;
    bool ignoreCase_;
    std::size_t next_;               // next text byte to feed to the automaton
    std::size_t state_;              // bytes of the pattern matched so far
    std::size_t boundary_;           // a character boundary, never beyond a reported match
    bool inTrail_ = false;           // the byte at next_ is the trail byte of a character
    std::size_t found_ = kNotFound;  // last occurrence found and not yet passed
};

// First occurrence of `needle` in `text` at or after `from`, stepping characters
// from `from`. An empty needle is found at `from` when `from` is inside the text.
std::size_t GbkFind(std::string_view text, std::string_view needle, std::size_t from = 0,
                    bool ignoreCase = false);

inline bool GbkContains(std::string_view text, std::string_view needle, bool ignoreCase = false) {
    return GbkFind(text, needle, 0, ignoreCase) != kNotFound;
}

// Removes ASCII spaces and full-width spaces (A1 A1) at both ends; nothing else.
std::string_view GbkTrimView(std::string_view text);
inline std::string GbkTrim(std::string_view text) { return std::string(GbkTrimView(text)); }

// Splits at every occurrence of `separator`. Each occurrence closes a piece (so
// adjacent separators give empty pieces); the rest after the last separator is a
// piece only when it is not empty; an empty text gives no pieces. An empty
// separator gives the whole text as one piece.
std::vector<std::string_view> GbkSplit(std::string_view text, std::string_view separator);

// Replaces every occurrence of `from`, left to right, without overlaps.
std::string GbkReplaceAll(std::string_view text, std::string_view from, std::string_view to,
                          bool ignoreCase = false);

// ASCII letters of single-byte characters to lower case; double-byte characters unchanged.
std::string GbkAsciiLower(std::string_view text);

}  // namespace vela
