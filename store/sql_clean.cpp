#include "sql_clean.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vela {

namespace {

// What a byte becomes: 0 keeps it, 1 drops it when an LF follows (CR), 2 doubles
// the apostrophe, 3 to 5 are the full-width forms.
constexpr auto kAction = [] {
    std::array<unsigned char, 256> action{};
    action['\r'] = 1;
    action['\''] = 2;
    action[';'] = 3;
    action['('] = 4;
    action[')'] = 5;
    return action;
}();

constexpr std::string_view kWith[] = {"", "", "''", "\xA3\xBB", "\xA3\xA8", "\xA3\xA9"};

// The position of the first byte at or after `i` that cleaning may change, or n.
std::size_t NextActionByte(const char* p, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i apostrophe = _mm_set1_epi8('\'');
    const __m128i semicolon = _mm_set1_epi8(';');
    const __m128i parenthesis = _mm_set1_epi8(')');  // "(" is ")" with the low bit clear
    const __m128i one = _mm_set1_epi8(1);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, apostrophe)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, semicolon),
                                      _mm_cmpeq_epi8(_mm_or_si128(v, one), parenthesis)));
        const auto bits = static_cast<std::uint32_t>(_mm_movemask_epi8(hit));
        if (bits != 0) return i + static_cast<std::size_t>(std::countr_zero(bits));
    }
#endif
    while (i < n && kAction[static_cast<unsigned char>(p[i])] == 0) ++i;
    return i;
}

}  // namespace

std::size_t SqlCleanTo(std::string_view text, char* out) {
    // The runs between the bytes that change are copied whole: most page texts
    // have few of them.
    const char* const p = text.data();
    const std::size_t n = text.size();
    char* w = out;
    const auto put = [&w](const char* from, std::size_t length) {
        if (length == 0) return;  // `from` may be null then
        std::memcpy(w, from, length);
        w += length;
    };
    std::size_t run = 0;
    for (std::size_t i = NextActionByte(p, 0, n); i < n; i = NextActionByte(p, i + 1, n)) {
        const unsigned char action = kAction[static_cast<unsigned char>(p[i])];
        if (action == 1 && !(i + 1 < n && p[i + 1] == '\n')) continue;  // a lone CR
        put(p + run, i - run);
        put(kWith[action].data(), kWith[action].size());
        if (action == 1) ++i;
        run = i + 1;
    }
    put(p + run, n - run);
    return static_cast<std::size_t>(w - out);
}

std::string SqlClean(std::string& text) {
    std::string out(2 * text.size(), '\0');
    out.resize(SqlCleanTo(text, out.data()));
    text = out;
    return out;
}

std::string StoredText(std::string_view cleaned) {
    std::string out;
    out.reserve(cleaned.size());
    for (std::size_t pos = 0;;) {
        const std::size_t quote = cleaned.find('\'', pos);
        if (quote == std::string_view::npos) {
            out.append(cleaned.substr(pos));
            return out;
        }
        out.append(cleaned.substr(pos, quote + 1 - pos));
        // SqlClean doubled it; a lone one (never made by SqlClean) stays.
        pos = quote + 1 < cleaned.size() && cleaned[quote + 1] == '\'' ? quote + 2 : quote + 1;
    }
}

std::string SqlQuote(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    AppendSqlQuoted(out, text);
    return out;
}

void AppendSqlQuoted(std::string& out, std::string_view text) {
    for (std::size_t pos = 0;;) {
        const std::size_t quote = text.find('\'', pos);
        if (quote == std::string_view::npos) {
            out.append(text.substr(pos));
            return;
        }
        out.append(text.substr(pos, quote + 1 - pos)).push_back('\'');
        pos = quote + 1;
    }
}

}  // namespace vela
