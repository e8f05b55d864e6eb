#include "fetch/gbk_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vela {
namespace {

unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

std::uint64_t Load64(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Index of the first byte (in memory order) that differs between two words, given
// their XOR, which is not zero.
std::size_t FirstDifferentByte(std::uint64_t diff) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::size_t>(std::countr_zero(diff)) / 8;
    } else {
        return static_cast<std::size_t>(std::countl_zero(diff)) / 8;
    }
}

// The last position in [lo, hi) holding a byte below 0x80, or kNotFound.
std::size_t LastLowByte(const char* p, std::size_t lo, std::size_t hi) {
    std::size_t i = hi;
    while (i >= lo + 8 && (~Load64(p + i - 8) & 0x8080808080808080u) == 0) i -= 8;
    while (i > lo) {
        --i;
        if (static_cast<unsigned char>(p[i]) < 0x80) return i;
    }
    return kNotFound;
}

// How common a byte is in the pages and headers the program searches, higher for
// more common. The scanner anchors its candidates on the two rarest needle bytes.
constexpr int ByteFrequency(unsigned char c) {
    constexpr std::string_view kLettersByFrequency = "etaoinsrhldcumfpgwybvkxjqz";
    if (c >= 0x80) return 150;  // one of the many lead and trail bytes
    if (c >= 'a' && c <= 'z') return 250 - 4 * static_cast<int>(kLettersByFrequency.find(c));
    if (c >= 'A' && c <= 'Z') return 120;
    if (c >= '0' && c <= '9') return 190;
    switch (c) {
        case ' ':
            return 255;
        case '<':
        case '>':
        case '/':
        case '"':
        case '=':
            return 230;
        case '\r':
        case '\n':
        case '\t':
            return 200;
        case '.':
        case ',':
        case '-':
        case ':':
        case ';':
        case '_':
        case '\'':
        case '&':
        case '#':
        case '?':
        case '%':
        case '(':
        case ')':
            return 170;
        default:
            return c < 0x20 ? 10 : 100;
    }
}

constexpr auto kByteFrequency = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(ByteFrequency(c));
    return table;
}();

}  // namespace

GbkScanner::GbkScanner(std::string_view text, std::string_view needle, std::size_t from,
                       bool ignoreCase)
    : text_(text),
      pattern_(needle),
      ignoreCase_(ignoreCase),
      grid_(from),
      knownAt_(from),
      knownStart_(from),
      next_(from),
      origin_(from) {
    // Letters of single-byte characters fold; trail bytes never do (they belong to
    // a Chinese character and must match exactly).
    if (ignoreCase) {
        for (std::size_t i = 0; i < pattern_.size(); i += GbkCharLength(pattern_, i)) {
            const auto c = static_cast<unsigned char>(pattern_[i]);
            if (!IsAsciiLetter(c)) continue;
            if (foldMask_.empty()) foldMask_.assign(pattern_.size(), '\0');
            foldMask_[i] = 0x20;
            pattern_[i] = static_cast<char>(FoldAscii(c));
        }
    }
    words_ = pattern_ + std::string(8, '\0');
    wordMask_ =
        foldMask_.empty() ? std::string(words_.size(), '\0') : foldMask_ + std::string(8, '\0');
    const auto anchorAt = [&](std::size_t i) {
        Anchor a;
        a.offset = i;
        a.mask = foldMask_.empty() ? 0 : static_cast<unsigned char>(foldMask_[i]);
        a.value = static_cast<unsigned char>(pattern_[i]);
        return a;
    };
    const auto rarity = [&](std::size_t i) {
        const Anchor a = anchorAt(i);
        return kByteFrequency[a.value] + (a.mask ? 5 : 0);
    };
    // The rarest byte, then the rarest other one, as far from it as possible: the
    // two together rule out nearly every position of an ordinary page.
    std::size_t best = 0;
    for (std::size_t i = 1; i < pattern_.size(); ++i) {
        if (rarity(i) < rarity(best)) best = i;
    }
    std::size_t other = best;
    const auto distance = [&](std::size_t i) { return i > best ? i - best : best - i; };
    for (std::size_t i = 0; i < pattern_.size(); ++i) {
        if (i == best) continue;
        if (other == best || rarity(i) < rarity(other) ||
            (rarity(i) == rarity(other) && distance(i) > distance(other))) {
            other = i;
        }
    }
    if (!pattern_.empty()) {
        first_ = anchorAt(best);
        second_ = anchorAt(other);
    }
}

std::size_t GbkScanner::RunStart(std::size_t at) {
    if (at >= knownAt_) {
        const std::size_t low = LastLowByte(text_.data(), knownAt_, at);
        if (low != kNotFound) knownStart_ = low + 1;
        knownAt_ = at;
        return knownStart_;
    }
    // Behind the furthest point asked about: no byte below 0x80 lies between
    // knownStart_ and knownAt_, so only a position before knownStart_ needs a look.
    if (knownStart_ <= at) return knownStart_;
    const std::size_t low = LastLowByte(text_.data(), grid_, at);
    return low == kNotFound ? grid_ : low + 1;
}

// Whether `at` starts a character when stepping from grid_: behind the last byte
// below 0x80 (or grid_) only double-byte characters follow until `at`.
bool GbkScanner::OnGrid(std::size_t at) {
    if (at < grid_) return false;
    if (at == grid_ || static_cast<unsigned char>(text_[at - 1]) < 0x80) {
        if (at > knownAt_) knownAt_ = knownStart_ = at;
        return true;
    }
    return (at - RunStart(at)) % 2 == 0;
}

void GbkScanner::Regrid(std::size_t pos) {
    // What was examined before stays valid beyond pos unless it passed over
    // occurrences at or after pos: then those are looked at again.
    const std::size_t examined =
        automaton_ ? (fed_ + 1 > pattern_.size() ? fed_ + 1 - pattern_.size() : 0) : next_;
    const bool again = pos < grid_ || (found_ != kNotFound ? found_ >= pos : examined > pos);
    grid_ = knownAt_ = knownStart_ = pos;
    if (again) {
        found_ = kNotFound;
        next_ = pos;
        if (automaton_) StartAutomaton(pos);
    } else if (automaton_ && ignoreCase_) {
        // Which letters fold depends on the stepping.
        StartAutomaton(pos);
    }
}

std::size_t GbkScanner::NextCandidate(std::size_t at) const {
    const std::size_t m = pattern_.size();
    if (text_.size() < m) return kNotFound;
    const std::size_t end = text_.size() - m + 1;  // candidate starts lie below end
    const char* p = text_.data();
#if defined(__SSE2__)
    const char* p1 = p + first_.offset;
    const char* p2 = p + second_.offset;
    const __m128i mask1 = _mm_set1_epi8(static_cast<char>(first_.mask));
    const __m128i value1 = _mm_set1_epi8(static_cast<char>(first_.value));
    const __m128i mask2 = _mm_set1_epi8(static_cast<char>(second_.mask));
    const __m128i value2 = _mm_set1_epi8(static_cast<char>(second_.value));
    // One bit per candidate start c .. c + 15 whose two anchor bytes match.
    const auto block = [&](std::size_t c) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + c));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + c));
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, mask1), value1),
                                          _mm_cmpeq_epi8(_mm_or_si128(b, mask2), value2));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(hit));
    };
    for (; at + 32 <= end; at += 32) {
        const std::uint32_t bits = block(at) | block(at + 16) << 16;
        if (bits != 0) return at + static_cast<std::size_t>(std::countr_zero(bits));
    }
    if (at + 16 <= end) {
        const std::uint32_t bits = block(at);
        if (bits != 0) return at + static_cast<std::size_t>(std::countr_zero(bits));
        at += 16;
    }
#endif
    for (; at < end; ++at) {
        if ((static_cast<unsigned char>(p[at + first_.offset]) | first_.mask) == first_.value &&
            (static_cast<unsigned char>(p[at + second_.offset]) | second_.mask) == second_.value) {
            return at;
        }
    }
    return kNotFound;
}

std::size_t GbkScanner::MatchedLength(std::size_t at) const {
    const std::size_t m = pattern_.size();
    const std::size_t n = text_.size();
    const char* t = text_.data() + at;
    // Word by word; the zero padding behind the needle makes the last word whole.
    std::size_t i = 0;
    for (; i < m && at + i + 8 <= n; i += 8) {
        const std::uint64_t diff =
            (Load64(t + i) | Load64(wordMask_.data() + i)) ^ Load64(words_.data() + i);
        if (diff != 0) return std::min(m, i + FirstDifferentByte(diff));
    }
    for (; i < m; ++i) {
        if ((static_cast<unsigned char>(t[i]) | static_cast<unsigned char>(wordMask_[i])) !=
            static_cast<unsigned char>(words_[i])) {
            return i;
        }
    }
    return m;
}

std::size_t GbkScanner::SearchByCandidates(std::size_t pos) {
    const std::size_t m = pattern_.size();
    std::size_t at = next_ > pos ? next_ : pos;
    for (;;) {
        const std::size_t c = NextCandidate(at);
        if (c == kNotFound) break;
        at = c + 1;
        const std::size_t matched = OnGrid(c) ? MatchedLength(c) : 0;
        if (matched == m) {
            next_ = at;
            found_ = c;
            return c;
        }
        // Checking has cost more than twice the distance covered: near misses
        // everywhere, which the automaton handles in one pass.
        work_ += matched + 8;
        if (work_ > 2 * (at > origin_ ? at - origin_ : 0) + 4 * m + 1024) {
            next_ = at;
            automaton_ = true;
            StartAutomaton(at);
            return SearchByAutomaton(pos);
        }
    }
    next_ = text_.size();
    found_ = kNotFound;
    return kNotFound;
}

void GbkScanner::StartAutomaton(std::size_t at) {
    const std::size_t m = pattern_.size();
    if (failure_.empty()) {
        failure_.assign(m, 0);
        for (std::size_t i = 1, k = 0; i < m; ++i) {
            while (k > 0 && pattern_[i] != pattern_[k]) k = failure_[k - 1];
            if (pattern_[i] == pattern_[k]) ++k;
            failure_[i] = k;
        }
    }
    fed_ = at;
    state_ = 0;
    inTrail_ = ignoreCase_ && at < text_.size() && !OnGrid(at);
}

std::size_t GbkScanner::SearchByAutomaton(std::size_t pos) {
    const std::size_t n = text_.size();
    const std::size_t m = pattern_.size();
    if (fed_ < pos) {
        // Nothing that starts before pos counts; pos starts a character.
        fed_ = pos;
        state_ = 0;
        inTrail_ = false;
    }
    const auto p = [&](std::size_t k) { return static_cast<unsigned char>(pattern_[k]); };
    while (fed_ < n) {
        if (state_ == 0 && !ignoreCase_) {
            // Nothing matched yet: jump to the next byte that can start a match.
            const void* hit = std::memchr(text_.data() + fed_, pattern_[0], n - fed_);
            if (!hit) break;
            fed_ = static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
        }
        const std::size_t i = fed_++;
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
        while (state_ > 0 && p(state_) != c) state_ = failure_[state_ - 1];
        if (p(state_) == c) ++state_;
        if (state_ < m) continue;
        state_ = failure_[m - 1];
        const std::size_t start = i + 1 - m;
        if (start >= pos && OnGrid(start)) {
            found_ = start;
            return start;
        }
    }
    fed_ = n;
    found_ = kNotFound;
    return kNotFound;
}

std::size_t GbkScanner::FindFrom(std::size_t pos) {
    if (pos >= text_.size()) return kNotFound;
    if (pattern_.empty()) return pos;
    if (!OnGrid(pos)) {
        Regrid(pos);
    } else if (found_ != kNotFound && found_ >= pos) {
        return found_;
    }
    return automaton_ ? SearchByAutomaton(pos) : SearchByCandidates(pos);
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
    if (begin == text.size()) return {};
    // A last byte that is neither a space nor A1 ends a character that is no space.
    const auto last = static_cast<unsigned char>(text.back());
    if (last != ' ' && last != 0xA1) return text.substr(begin);
    // Otherwise the end is found walking forwards: only then is it known which
    // bytes A1 A1 form a full-width space and which are halves of other characters.
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
