#include "sql_clean.h"

#include <array>
#include <cstring>
#include <string_view>

namespace vela {

std::string SqlClean(std::string& text) {
    // What a byte becomes; an empty view keeps it. Of the CR bytes only those of a
    // CR LF pair go, together with the LF.
    static constexpr auto kReplacement = [] {
        std::array<std::string_view, 256> with{};
        with['\''] = "''";
        with[';'] = "\xA3\xBB";
        with['('] = "\xA3\xA8";
        with[')'] = "\xA3\xA9";
        return with;
    }();
    // The runs between the bytes that change are copied whole: most page texts
    // have few of them. strcspn finds the next one (or a zero byte, which the
    // string's own terminator puts at its end).
    constexpr const char* kLooked = "'();\r";
    const char* const p = text.c_str();
    const size_t n = text.size();
    std::string out;
    size_t run = 0;
    for (size_t i = std::strcspn(p, kLooked); i < n; i += 1 + std::strcspn(p + i + 1, kLooked)) {
        const bool pair = p[i] == '\r' && i + 1 < n && p[i + 1] == '\n';
        const std::string_view with = kReplacement[static_cast<unsigned char>(p[i])];
        if (with.empty() && !pair) continue;  // a lone CR or a zero byte inside the text
        if (run == 0) out.reserve(n + n / 8);
        out.append(p + run, i - run).append(with);
        if (pair) ++i;
        run = i + 1;
    }
    if (run == 0) return text;
    out.append(p + run, n - run);
    text = out;
    return out;
}

std::string SqlQuote(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

}  // namespace vela
