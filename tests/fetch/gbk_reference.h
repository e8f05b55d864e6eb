#pragma once

// Plain references for the GBK scans: each does literally what the rule says,
// stepping character by character, however slowly. The fast scans are checked
// against them on random text.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "fetch/gbk_search.h"

namespace vela::test {

// ASCII letters of single-byte characters to lower case, stepping from the start.
inline std::string FoldStepping(std::string s, bool ignoreCase) {
    for (std::size_t i = 0; i < s.size(); i += GbkCharLength(s, i)) {
        if (ignoreCase && s[i] >= 'A' && s[i] <= 'Z') s[i] += 'a' - 'A';
    }
    return s;
}

// Steps through the characters from `from` and compares at each one.
inline std::size_t SteppingFind(const std::string& text, const std::string& needle,
                                std::size_t from, bool ignoreCase) {
    if (from >= text.size()) return kNotFound;
    if (needle.empty()) return from;
    const std::string folded = FoldStepping(needle, ignoreCase);
    for (std::size_t i = from; i < text.size(); i += GbkCharLength(text, i)) {
        if (i + folded.size() <= text.size() &&
            FoldStepping(text.substr(i, folded.size()), ignoreCase) == folded) {
            return i;
        }
    }
    return kNotFound;
}

// Text glued together from pieces picked at random. Pieces like "\x81" (a lead
// byte), "\xB0[" (a character whose trail byte is a marker byte) and lone "\r"
// make every boundary rule matter.
inline std::string RandomPieces(std::mt19937& random, const std::vector<std::string>& pieces,
                                std::size_t maxPieces) {
    std::string s;
    for (std::size_t k = random() % (maxPieces + 1); k > 0; --k) {
        s += pieces[random() % pieces.size()];
    }
    return s;
}

}  // namespace vela::test
