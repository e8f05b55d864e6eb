#include "page_text.h"

#include <cctype>
#include <cstdint>

#include "fetch/encoding.h"

namespace vela {
namespace {

struct NamedReference {
    std::string_view name;
    char32_t cp;
};

constexpr NamedReference kNames[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},        {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},      {"middot", 0xB7},  {"laquo", 0xAB},
    {"raquo", 0xBB},   {"times", 0xD7},   {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013},
    {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"bull", 0x2022},
    {"ensp", 0x2002},  {"emsp", 0x2003},  {"thinsp", 0x2009},
};

bool IsAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The code point of the reference at `text[at]` == '&' and its length; 0 when
// there is none there.
std::size_t ReadReference(std::string_view text, std::size_t at, char32_t& cp) {
    std::size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        uint32_t value = 0;
        std::size_t digits = 0;
        for (; i < text.size() && digits < 8; ++i, ++digits) {
            const char c = text[i];
            int d = -1;
            if (c >= '0' && c <= '9') d = c - '0';
            if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
            if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
            if (d < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        }
        if (digits == 0) return 0;
        if (i < text.size() && text[i] == ';') ++i;
        cp =
            value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? 0xFFFD : value;
        return i - at;
    }
    std::size_t end = i;
    while (end < text.size() && end - i < 8 &&
           ((text[end] >= 'a' && text[end] <= 'z') || (text[end] >= 'A' && text[end] <= 'Z'))) {
        ++end;
    }
    const std::string_view name = text.substr(i, end - i);
    for (const NamedReference& ref : kNames) {
        if (ref.name != name) continue;
        cp = ref.cp;
        if (end < text.size() && text[end] == ';') ++end;
        return end - at;
    }
    return 0;
}

}  // namespace

std::string DecodedReferences(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size());
    for (std::size_t i = 0; i < gbk.size();) {
        char32_t cp = 0;
        const std::size_t length = gbk[i] == '&' ? ReadReference(gbk, i, cp) : 0;
        if (length == 0) {
            const std::size_t step =
                static_cast<unsigned char>(gbk[i]) >= 0x80 && i + 1 < gbk.size() ? 2 : 1;
            out.append(gbk.substr(i, step));
            i += step;
            continue;
        }
        std::string utf8;
        AppendUtf8(utf8, cp);
        out += Utf8ToGbk(utf8);
        i += length;
    }
    return out;
}

int DisplayWidth(std::string_view gbk) {
    int width = 0;
    for (std::size_t i = 0; i < gbk.size();) {
        if (static_cast<unsigned char>(gbk[i]) >= 0x80 && i + 1 < gbk.size()) {
            const auto t = static_cast<unsigned char>(gbk[i + 1]);
            i += t >= '0' && t <= '9' && i + 3 < gbk.size() ? 4 : 2;
            width += 2;
        } else {
            ++i;
            ++width;
        }
    }
    return width;
}

bool IsNumberLike(std::string_view gbk) {
    bool digit = false;
    for (const char c : gbk) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (std::isalpha(u) != 0)) return false;
        if (c >= '0' && c <= '9') digit = true;
    }
    return digit || gbk.find_first_not_of(" .>|<") == std::string_view::npos;
}

bool NeedsReading(std::string_view source) {
    if (source.empty()) return false;
    if (IsAsciiBlank(source.front()) || IsAsciiBlank(source.back())) return true;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '<' || c == '&' || c == '\t' || c == '\n' || c == '\r') return true;
        if (c == ' ' && i + 1 < source.size() && source[i + 1] == ' ') return true;
        if (static_cast<unsigned char>(c) >= 0x80) ++i;
    }
    return false;
}

}  // namespace vela
