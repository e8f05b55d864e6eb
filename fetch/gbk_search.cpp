#include "fetch/gbk_search.h"

#include <cstring>

namespace vela {
namespace {

unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The needle as the automaton compares it: letters of single-byte characters
// folded when case is ignored, trail bytes never (they belong to a Chinese
// character and must match exactly).
std::string FoldedPattern(std::string_view needle, bool ignoreCase) {
    std::string out(needle);
    if (!ignoreCase) return out;
    for (std::size_t i = 0; i < out.size(); i += GbkCharLength(out, i)) {
        out[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(out[i])));
    }
    return out;
}

}  // namespace

GbkScanner::GbkScanner(std::string_view text, std::string_view needle, std::size_t from,
                       bool ignoreCase)
    : text_(text),
      pattern_(FoldedPattern(needle, ignoreCase)),
      failure_(pattern_.size(), 0),
      ignoreCase_(ignoreCase),
      next_(from),
      state_(0),
      boundary_(from) {
    for (std::size_t i = 1, k = 0; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k]) k = failure_[k - 1];
        if (pattern_[i] == pattern_[k]) ++k;
        failure_[i] = k;
    }
}

std::size_t GbkScanner::FindFrom(std::size_t pos) {
    const std::size_t n = text_.size();
    const std::size_t m = pattern_.size();
    if (pos >= n) return kNotFound;
    if (m == 0) return pos;
    if (found_ != kNotFound && found_ >= pos) return found_;
    while (next_ < n) {
        if (state_ == 0 && !ignoreCase_) {
            // Nothing matched yet: jump to the next byte that can start a match.
            const void* hit = std::memchr(text_.data() + next_, pattern_[0], n - next_);
            if (!hit) break;
            next_ = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
        }
        const std::size_t i = next_++;
        auto c = static_cast<unsigned char>(text_[i]);
        if (ignoreCase_) {
            // Folding needs to know which bytes are trail bytes.
            if (inTrail_) {
                inTrail_ = false;
            } else {
                if (c >= 0x80 && i + 1 < n) inTrail_ = true;
                c = FoldAscii(c);
            }
        }
        const auto p = [&](std::size_t k) { return static_cast<unsigned char>(pattern_[k]); };
        while (state_ > 0 && p(state_) != c) state_ = failure_[state_ - 1];
        if (p(state_) == c) ++state_;
        if (state_ < m) continue;
        state_ = failure_[m - 1];
        const std::size_t start = i + 1 - m;
        while (boundary_ < start) boundary_ += GbkCharLength(text_, boundary_);
        if (boundary_ == start && start >= pos) {
            found_ = start;
            return start;
        }
    }
    next_ = n;
    found_ = kNotFound;
    return kNotFound;
}

std::size_t GbkFind(std::string_view text, std::string_view needle, std::size_t from,
                    bool ignoreCase) {
    if (from >= text.size()) return kNotFound;
    if (needle.empty()) return from;
    if (needle.size() > text.size() - from) return kNotFound;
    return GbkScanner(text, needle, from, ignoreCase).FindFrom(from);
}

std::string_view GbkTrimView(std::string_view text) {
    const auto isWide = [&](std::size_t i) {
        return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
               static_cast<unsigned char>(text[i + 1]) == 0xA1;
    };
    std::size_t begin = 0;
    while (begin < text.size()) {
        if (text[begin] == ' ') {
            ++begin;
        } else if (isWide(begin)) {
            begin += 2;
        } else {
            break;
        }
    }
    // The end is found walking forwards: only then is it known which bytes
    // A1 A1 form a full-width space and which are halves of other characters.
    std::size_t end = begin;
    for (std::size_t i = begin; i < text.size();) {
        const std::size_t len = GbkCharLength(text, i);
        const bool space = len == 1 ? text[i] == ' ' : isWide(i);
        i += len;
        if (!space) end = i;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string_view> GbkSplit(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    GbkScanner scanner(text, separator);
    std::size_t pos = 0;
    for (std::size_t hit; (hit = scanner.FindFrom(pos)) != kNotFound;) {
        pieces.push_back(text.substr(pos, hit - pos));
        pos = hit + separator.size();
    }
    if (pos < text.size()) pieces.push_back(text.substr(pos));
    return pieces;
}

std::string GbkReplaceAll(std::string_view text, std::string_view from, std::string_view to,
                          bool ignoreCase) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    GbkScanner scanner(text, from, 0, ignoreCase);
    std::size_t pos = 0;
    for (std::size_t hit; (hit = scanner.FindFrom(pos)) != kNotFound;) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    if (pos < text.size()) out.append(text.substr(pos));
    return out;
}

std::string GbkAsciiLower(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); i += GbkCharLength(out, i)) {
        out[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(out[i])));
    }
    return out;
}

}  // namespace vela
