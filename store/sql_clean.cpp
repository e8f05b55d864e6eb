#include "sql_clean.h"

#include <array>
#include <cstring>
#include <string_view>

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
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char action = kAction[static_cast<unsigned char>(p[i])];
        if (action == 0) continue;
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
