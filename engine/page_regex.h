#pragma once

#include <boost/regex.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vela {

// One group of a match: byte offset from the first byte of the searched text.
struct SubMatch {
    int32_t start = 0;
    int32_t length = 0;
    bool matched = false;
};

// Group 0 (the whole match) and the capturing groups 1 … N in the order of their
// opening parentheses.
using MatchRecord = std::vector<SubMatch>;

// Boost's own traits with a faster case fold for the icase option: ASCII letters
// only, as the "C" locale's ctype folds them, from a table instead of a virtual
// call per byte. Bytes of 0x80 and above (GBK) are never folded.
struct AsciiFoldRegexTraits : boost::regex_traits<char> {
    char translate(char c, bool icase) const {
        return icase && c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    char translate(char c) const { return c; }
    char translate_nocase(char c) const { return translate(c, true); }
};

// A scheme's pattern: perl syntax over GBK bytes. Compile errors and errors at
// match time (complexity or stack limits) never escape: a pattern that does not
// compile finds nothing, and a search that fails keeps the matches found so far.
class PageRegex {
public:
    bool CompilePattern(const std::string& pattern, bool caseSensitive);
    // Why the last CompilePattern failed, in Boost's words; empty after success.
    const std::string& CompileError() const { return compileError_; }
    // Successive matches: each search starts where the previous whole match ended
    // and takes that point as the start of the text ("^" and "\b" match there);
    // the list ends after a match whose whole text is empty.
    std::vector<MatchRecord> FindAllMatches(const std::string& text) const;
    // The same, ending early right after the first match for which `last` is true.
    std::vector<MatchRecord> FindMatchesUntil(
        const std::string& text, const std::function<bool(const MatchRecord&)>& last) const;
    // N, the number of capturing groups; 0 without a compiled pattern.
    int CaptureGroupCount() const;

private:
    // Where the next search may start: the first place at or after `from` where
    // the pattern's literal start stands, or npos; `from` itself without one.
    std::size_t NextStart(const std::string& text, std::size_t from) const;

    std::optional<boost::basic_regex<char, AsciiFoldRegexTraits>> regex_;
    std::string compileError_;
    // The bytes every match begins with (ASCII letters folded to lower case when
    // case is ignored), and which of them is looked for first: one that is no
    // letter. Empty when the pattern promises no such start.
    std::string literalStart_;
    std::size_t anchor_ = 0;
    bool ignoreCase_ = false;
};

// The text of group k of `match` in the searched `text`; empty when the group did
// not take part, is out of range or lies outside the text.
std::string SubMatchText(const MatchRecord& match, const std::string& text, int k);

}  // namespace vela
