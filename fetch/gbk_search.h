#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Searching GBK text. A byte of 0x80 or above is taken together with the byte after
// it as one double-byte character, so a match only ever starts on a character
// boundary: the "[" that is the trail byte of a Chinese character is not a "[".
// Every search steps through the characters from its own start position.
// Ignoring case folds the ASCII letters of single-byte characters only.
//
// Positions here are 0-based byte offsets; std::string::npos means "not found".
// Every search is linear in the text and skips through it at memory speed where it
// can: candidates come from a vector scan for two bytes of the needle, and where
// the boundaries lie is decided locally, since the byte after any byte below 0x80
// always starts a character.

namespace vela {

inline constexpr std::size_t kNotFound = std::string_view::npos;

// Length of the character at `pos`: 2 for a byte of 0x80 or above that has a byte
// after it, otherwise 1.
inline std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() ? 2 : 1;
}

// Finds the occurrences of one needle in one text, in increasing order. Each
// FindFrom(pos) gives what GbkFind(text, needle, pos) gives; successive calls must
// not go backwards, and then together they scan the text about once, so a loop over
// all markers of a page stays linear however the markers overlap. (A call whose
// start lies inside a character of the previous call's stepping, which only
// happens after a needle that ends in a lone lead byte, looks again at what was
// passed over from there: normally less than one needle length, up to the end of
// the text when the previous call found nothing.)
class GbkScanner {
public:
    GbkScanner(std::string_view text, std::string_view needle, std::size_t from = 0,
               bool ignoreCase = false);

    // First occurrence that starts at or after `pos`. An empty needle is found at
    // `pos` when `pos` is inside the text.
    std::size_t FindFrom(std::size_t pos);

private:
    // A byte of the needle that a candidate must show at `offset`: the text byte,
    // ORed with `mask` (0x20 folds an ASCII letter), equals `value`.
    struct Anchor {
        std::size_t offset = 0;
        unsigned char mask = 0;
        unsigned char value = 0;
    };

    std::size_t RunStart(std::size_t at);
    bool OnGrid(std::size_t at);
    void Regrid(std::size_t pos);
    std::size_t NextCandidate(std::size_t at) const;
    std::size_t MatchedLength(std::size_t at) const;
    std::size_t SearchByCandidates(std::size_t pos);
    void StartAutomaton(std::size_t at);
    std::size_t SearchByAutomaton(std::size_t pos);

    std::string_view text_;
    std::string pattern_;   // the needle, its letters folded where case is ignored
    std::string foldMask_;  // 0x20 at each folded letter; empty when nothing folds
    std::string words_;     // the pattern and the mask with eight zero bytes behind,
    std::string wordMask_;  // for comparing a word at a time
    bool ignoreCase_;
    Anchor first_, second_;

    // The stepping of the current search starts at grid_; knownStart_ is where the
    // run of bytes >= 0x80 before knownAt_ begins (never before grid_).
    std::size_t grid_;
    std::size_t knownAt_;
    std::size_t knownStart_;

    std::size_t next_;               // candidate starts below next_ have been examined
    std::size_t found_ = kNotFound;  // last occurrence found and not yet passed

    // Candidates are checked one by one while that stays cheap; a text full of near
    // misses hands the rest of the scan to a KMP automaton, linear in any case.
    std::size_t origin_;
    std::size_t work_ = 0;
    bool automaton_ = false;
    std::vector<std::size_t> failure_;
    std::size_t fed_ = 0;    // next text byte to feed to the automaton
    std::size_t state_ = 0;  // bytes of the pattern matched so far
    bool inTrail_ = false;   // the byte at fed_ is the trail byte of a character
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
