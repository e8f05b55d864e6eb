#include "page_regex.h"

#include <cstring>
#include <exception>

namespace vela {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A byte as the pattern compares it when case is ignored (AsciiFoldRegexTraits).
char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// The characters that a backslash makes plain in Boost's perl syntax. Not "<",
// ">", "'" and "`", which are assertions there, nor letters and digits.
bool IsQuotedLiteral(char c) { return std::strchr(".*+?()[]{}|^$\\/\"-=:#&%@!,;~ ", c) && c; }

bool IsSpecial(char c) { return std::strchr("^$.[]{}()*+?|\\", c) && c; }

bool IsQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// Whether a literal start of `pattern` is one of every match: false when a bar
// stands outside every group (the first branch's start is not the other's), for
// \G (it matches where a search begins), and when something could hide
// parentheses and bars from this scan: \Q quoting, comments and the x flag. A
// set is skipped whole, POSIX classes such as [:alpha:] too.
bool EveryMatchHasTheStart(const std::string& pattern) {
    const std::size_t size = pattern.size();
    int depth = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = pattern[i];
        const char next = i + 1 < size ? pattern[i + 1] : '\0';
        if (c == '\\') {
            if (next == 'G' || next == 'Q') return false;
            ++i;
        } else if (c == '[') {
            std::size_t j = i + 1;
            if (j < size && pattern[j] == '^') ++j;
            if (j < size && pattern[j] == ']') ++j;
            for (;; ++j) {
                if (j >= size) return false;
                const char d = pattern[j];
                if (d == ']') break;
                if (d == '\\') {
                    ++j;
                } else if (d == '[' && j + 1 < size &&
                           (pattern[j + 1] == ':' || pattern[j + 1] == '.' ||
                            pattern[j + 1] == '=')) {
                    const std::size_t close = pattern.find(std::string{pattern[j + 1], ']'}, j + 2);
                    if (close == std::string::npos) return false;
                    j = close + 1;
                }
            }
            i = j;
        } else if (c == '(') {
            if (next == '?') {
                if (i + 2 < size && pattern[i + 2] == '#') return false;
                for (std::size_t j = i + 2;
                     j < size && (IsAsciiLetter(pattern[j]) || pattern[j] == '-'); ++j) {
                    if (pattern[j] == 'x') return false;
                }
            }
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == '|' && depth <= 0) {
            return false;
        }
    }
    return true;
}

// The plain bytes every match of `pattern` begins with, folded when case is
// ignored; empty when it promises none. Stops before a byte that a quantifier
// follows, since that byte may be missing or repeated.
std::string LiteralStart(const std::string& pattern, bool ignoreCase) {
    if (!EveryMatchHasTheStart(pattern)) return {};
    std::string start;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        std::size_t after = i + 1;
        if (c == '\\') {
            if (after >= pattern.size() || !IsQuotedLiteral(pattern[after])) break;
            c = pattern[after];
            after = i + 2;
        } else if (IsSpecial(c)) {
            break;
        }
        if (after < pattern.size() && IsQuantifier(pattern[after])) break;
        start += ignoreCase ? Folded(c) : c;
        i = after;
    }
    return start;
}

}  // namespace

bool PageRegex::CompilePattern(const std::string& pattern, bool caseSensitive) {
    regex_.reset();
    compileError_.clear();
    literalStart_.clear();
    try {
        boost::regex::flag_type flags = boost::regex::perl;
        if (!caseSensitive) flags |= boost::regex::icase;
        regex_.emplace(pattern, flags);
        ignoreCase_ = !caseSensitive;
        literalStart_ = LiteralStart(pattern, ignoreCase_);
        // memchr looks for the exact byte: a letter only when case counts.
        anchor_ = 0;
        while (anchor_ < literalStart_.size() && ignoreCase_ &&
               IsAsciiLetter(literalStart_[anchor_])) {
            ++anchor_;
        }
        if (anchor_ == literalStart_.size()) literalStart_.clear();
        return true;
    } catch (const std::exception& e) {
        regex_.reset();
        compileError_ = e.what();
        // A failure without words of its own still reads as one.
        if (compileError_.empty()) compileError_ = "the pattern does not compile";
        return false;
    }
}

int PageRegex::CaptureGroupCount() const {
    // Boost 1.74's mark_count() counts the capturing groups only, not group 0.
    return regex_ ? static_cast<int>(regex_->mark_count()) : 0;
}

std::vector<MatchRecord> PageRegex::FindAllMatches(const std::string& text) const {
    return FindMatchesUntil(text, {});
}

std::vector<MatchRecord> PageRegex::FindMatchesUntil(
    const std::string& text, const std::function<bool(const MatchRecord&)>& last) const {
    std::vector<MatchRecord> matches;
    if (!regex_ || text.empty()) return matches;
    const auto begin = text.begin();
    auto position = begin;
    boost::smatch found;
    try {
        // Without match_prev_avail each search sees its start as the text's start.
        // A search begun further on, where the pattern's literal start stands,
        // keeps `position` as that start (Boost's base): "^", "\b" and
        // look-behinds see the same bytes as in a search from `position`, which
        // would have found no match before that place.
        for (;;) {
            const std::size_t start = NextStart(text, position - begin);
            if (start == std::string::npos ||
                !boost::regex_search(begin + start, text.end(), found, *regex_,
                                     boost::match_default, position)) {
                break;
            }
            MatchRecord record(found.size());
            for (size_t k = 0; k < found.size(); ++k) {
                record[k].matched = found[k].matched;
                if (found[k].matched) {
                    record[k].start = static_cast<int32_t>(found[k].first - begin);
                    record[k].length = static_cast<int32_t>(found.length(k));
                }
            }
            matches.push_back(std::move(record));
            if (found.length(0) == 0 || (last && last(matches.back()))) break;
            position = found[0].second;
        }
    } catch (const std::exception&) {
        // Matching gave up (complexity or memory limit): keep what was found.
    }
    return matches;
}

std::size_t PageRegex::NextStart(const std::string& text, std::size_t from) const {
    if (literalStart_.empty()) return from;
    const std::size_t length = literalStart_.size();
    const char anchor = literalStart_[anchor_];
    // The anchor byte is looked for from where it would stand in a start at `from`.
    for (std::size_t at = from + anchor_; at + (length - anchor_) <= text.size(); ++at) {
        const void* hit =
            std::memchr(text.data() + at, anchor, text.size() - at - (length - anchor_ - 1));
        if (!hit) break;
        at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        const std::size_t candidate = at - anchor_;
        std::size_t k = 0;
        while (k < length && (ignoreCase_ ? Folded(text[candidate + k]) : text[candidate + k]) ==
                                 literalStart_[k]) {
            ++k;
        }
        if (k == length) return candidate;
    }
    return std::string::npos;
}

std::string SubMatchText(const MatchRecord& match, const std::string& text, int k) {
    if (k < 0 || k >= static_cast<int>(match.size())) return {};
    const SubMatch& group = match[k];
    if (!group.matched || group.length < 1 || group.start < 0) return {};
    size_t start = static_cast<size_t>(group.start);
    if (start >= text.size()) return {};
    return text.substr(start, static_cast<size_t>(group.length));
}

}  // namespace vela
