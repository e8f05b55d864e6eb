#include "readable_text.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "encoding.h"

namespace vela {
namespace {

struct NamedReference {
    std::string_view name;
    char32_t code;
    // One of the names a page may write without the ";" (the Latin-1 set and the
    // markup characters), as browsers still read them.
    bool bare;
};

// The character references of HTML 4 with &apos; and the upper-case forms of the
// markup characters, sorted by name for a binary search.
constexpr NamedReference kNamedReferences[] = {
    {"AElig", 0xC6, true},     {"AMP", 0x26, true},        {"Aacute", 0xC1, true},
    {"Acirc", 0xC2, true},     {"Agrave", 0xC0, true},     {"Alpha", 0x391, false},
    {"Aring", 0xC5, true},     {"Atilde", 0xC3, true},     {"Auml", 0xC4, true},
    {"Beta", 0x392, false},    {"COPY", 0xA9, true},       {"Ccedil", 0xC7, true},
    {"Chi", 0x3A7, false},     {"Dagger", 0x2021, false},  {"Delta", 0x394, false},
    {"ETH", 0xD0, true},       {"Eacute", 0xC9, true},     {"Ecirc", 0xCA, true},
    {"Egrave", 0xC8, true},    {"Epsilon", 0x395, false},  {"Eta", 0x397, false},
    {"Euml", 0xCB, true},      {"GT", 0x3E, true},         {"Gamma", 0x393, false},
    {"Iacute", 0xCD, true},    {"Icirc", 0xCE, true},      {"Igrave", 0xCC, true},
    {"Iota", 0x399, false},    {"Iuml", 0xCF, true},       {"Kappa", 0x39A, false},
    {"LT", 0x3C, true},        {"Lambda", 0x39B, false},   {"Mu", 0x39C, false},
    {"Ntilde", 0xD1, true},    {"Nu", 0x39D, false},       {"OElig", 0x152, false},
    {"Oacute", 0xD3, true},    {"Ocirc", 0xD4, true},      {"Ograve", 0xD2, true},
    {"Omega", 0x3A9, false},   {"Omicron", 0x39F, false},  {"Oslash", 0xD8, true},
    {"Otilde", 0xD5, true},    {"Ouml", 0xD6, true},       {"Phi", 0x3A6, false},
    {"Pi", 0x3A0, false},      {"Prime", 0x2033, false},   {"Psi", 0x3A8, false},
    {"QUOT", 0x22, true},      {"REG", 0xAE, true},        {"Rho", 0x3A1, false},
    {"Scaron", 0x160, false},  {"Sigma", 0x3A3, false},    {"THORN", 0xDE, true},
    {"Tau", 0x3A4, false},     {"Theta", 0x398, false},    {"Uacute", 0xDA, true},
    {"Ucirc", 0xDB, true},     {"Ugrave", 0xD9, true},     {"Upsilon", 0x3A5, false},
    {"Uuml", 0xDC, true},      {"Xi", 0x39E, false},       {"Yacute", 0xDD, true},
    {"Yuml", 0x178, false},    {"Zeta", 0x396, false},     {"aacute", 0xE1, true},
    {"acirc", 0xE2, true},     {"acute", 0xB4, true},      {"aelig", 0xE6, true},
    {"agrave", 0xE0, true},    {"alefsym", 0x2135, false}, {"alpha", 0x3B1, false},
    {"amp", 0x26, true},       {"and", 0x2227, false},     {"ang", 0x2220, false},
    {"apos", 0x27, false},     {"aring", 0xE5, true},      {"asymp", 0x2248, false},
    {"atilde", 0xE3, true},    {"auml", 0xE4, true},       {"bdquo", 0x201E, false},
    {"beta", 0x3B2, false},    {"brvbar", 0xA6, true},     {"bull", 0x2022, false},
    {"cap", 0x2229, false},    {"ccedil", 0xE7, true},     {"cedil", 0xB8, true},
    {"cent", 0xA2, true},      {"chi", 0x3C7, false},      {"circ", 0x2C6, false},
    {"clubs", 0x2663, false},  {"cong", 0x2245, false},    {"copy", 0xA9, true},
    {"crarr", 0x21B5, false},  {"cup", 0x222A, false},     {"curren", 0xA4, true},
    {"dArr", 0x21D3, false},   {"dagger", 0x2020, false},  {"darr", 0x2193, false},
    {"deg", 0xB0, true},       {"delta", 0x3B4, false},    {"diams", 0x2666, false},
    {"divide", 0xF7, true},    {"eacute", 0xE9, true},     {"ecirc", 0xEA, true},
    {"egrave", 0xE8, true},    {"empty", 0x2205, false},   {"emsp", 0x2003, false},
    {"ensp", 0x2002, false},   {"epsilon", 0x3B5, false},  {"equiv", 0x2261, false},
    {"eta", 0x3B7, false},     {"eth", 0xF0, true},        {"euml", 0xEB, true},
    {"euro", 0x20AC, false},   {"exist", 0x2203, false},   {"fnof", 0x192, false},
    {"forall", 0x2200, false}, {"frac12", 0xBD, true},     {"frac14", 0xBC, true},
    {"frac34", 0xBE, true},    {"frasl", 0x2044, false},   {"gamma", 0x3B3, false},
    {"ge", 0x2265, false},     {"gt", 0x3E, true},         {"hArr", 0x21D4, false},
    {"harr", 0x2194, false},   {"hearts", 0x2665, false},  {"hellip", 0x2026, false},
    {"iacute", 0xED, true},    {"icirc", 0xEE, true},      {"iexcl", 0xA1, true},
    {"igrave", 0xEC, true},    {"image", 0x2111, false},   {"infin", 0x221E, false},
    {"int", 0x222B, false},    {"iota", 0x3B9, false},     {"iquest", 0xBF, true},
    {"isin", 0x2208, false},   {"iuml", 0xEF, true},       {"kappa", 0x3BA, false},
    {"lArr", 0x21D0, false},   {"lambda", 0x3BB, false},   {"lang", 0x2329, false},
    {"laquo", 0xAB, true},     {"larr", 0x2190, false},    {"lceil", 0x2308, false},
    {"ldquo", 0x201C, false},  {"le", 0x2264, false},      {"lfloor", 0x230A, false},
    {"lowast", 0x2217, false}, {"loz", 0x25CA, false},     {"lrm", 0x200E, false},
    {"lsaquo", 0x2039, false}, {"lsquo", 0x2018, false},   {"lt", 0x3C, true},
    {"macr", 0xAF, true},      {"mdash", 0x2014, false},   {"micro", 0xB5, true},
    {"middot", 0xB7, true},    {"minus", 0x2212, false},   {"mu", 0x3BC, false},
    {"nabla", 0x2207, false},  {"nbsp", 0xA0, true},       {"ndash", 0x2013, false},
    {"ne", 0x2260, false},     {"ni", 0x220B, false},      {"not", 0xAC, true},
    {"notin", 0x2209, false},  {"nsub", 0x2284, false},    {"ntilde", 0xF1, true},
    {"nu", 0x3BD, false},      {"oacute", 0xF3, true},     {"ocirc", 0xF4, true},
    {"oelig", 0x153, false},   {"ograve", 0xF2, true},     {"oline", 0x203E, false},
    {"omega", 0x3C9, false},   {"omicron", 0x3BF, false},  {"oplus", 0x2295, false},
    {"or", 0x2228, false},     {"ordf", 0xAA, true},       {"ordm", 0xBA, true},
    {"oslash", 0xF8, true},    {"otilde", 0xF5, true},     {"otimes", 0x2297, false},
    {"ouml", 0xF6, true},      {"para", 0xB6, true},       {"part", 0x2202, false},
    {"permil", 0x2030, false}, {"perp", 0x22A5, false},    {"phi", 0x3C6, false},
    {"pi", 0x3C0, false},      {"piv", 0x3D6, false},      {"plusmn", 0xB1, true},
    {"pound", 0xA3, true},     {"prime", 0x2032, false},   {"prod", 0x220F, false},
    {"prop", 0x221D, false},   {"psi", 0x3C8, false},      {"quot", 0x22, true},
    {"rArr", 0x21D2, false},   {"radic", 0x221A, false},   {"rang", 0x232A, false},
    {"raquo", 0xBB, true},     {"rarr", 0x2192, false},    {"rceil", 0x2309, false},
    {"rdquo", 0x201D, false},  {"real", 0x211C, false},    {"reg", 0xAE, true},
    {"rfloor", 0x230B, false}, {"rho", 0x3C1, false},      {"rlm", 0x200F, false},
    {"rsaquo", 0x203A, false}, {"rsquo", 0x2019, false},   {"sbquo", 0x201A, false},
    {"scaron", 0x161, false},  {"sdot", 0x22C5, false},    {"sect", 0xA7, true},
    {"shy", 0xAD, true},       {"sigma", 0x3C3, false},    {"sigmaf", 0x3C2, false},
    {"sim", 0x223C, false},    {"spades", 0x2660, false},  {"sub", 0x2282, false},
    {"sube", 0x2286, false},   {"sum", 0x2211, false},     {"sup", 0x2283, false},
    {"sup1", 0xB9, true},      {"sup2", 0xB2, true},       {"sup3", 0xB3, true},
    {"supe", 0x2287, false},   {"szlig", 0xDF, true},      {"tau", 0x3C4, false},
    {"there4", 0x2234, false}, {"theta", 0x3B8, false},    {"thetasym", 0x3D1, false},
    {"thinsp", 0x2009, false}, {"thorn", 0xFE, true},      {"tilde", 0x2DC, false},
    {"times", 0xD7, true},     {"trade", 0x2122, false},   {"uArr", 0x21D1, false},
    {"uacute", 0xFA, true},    {"uarr", 0x2191, false},    {"ucirc", 0xFB, true},
    {"ugrave", 0xF9, true},    {"uml", 0xA8, true},        {"upsih", 0x3D2, false},
    {"upsilon", 0x3C5, false}, {"uuml", 0xFC, true},       {"weierp", 0x2118, false},
    {"xi", 0x3BE, false},      {"yacute", 0xFD, true},     {"yen", 0xA5, true},
    {"yuml", 0xFF, true},      {"zeta", 0x3B6, false},     {"zwj", 0x200D, false},
    {"zwnj", 0x200C, false},
};

constexpr std::size_t kNoEnd = std::string_view::npos;
constexpr std::size_t kLongestName = 8;      // "thetasym"
constexpr std::size_t kLongestBareName = 6;  // "frac12"

const NamedReference* FindName(std::string_view name) {
    const auto end = std::end(kNamedReferences);
    const auto it =
        std::lower_bound(std::begin(kNamedReferences), end, name,
                         [](const NamedReference& r, std::string_view n) { return r.name < n; });
    return it != end && it->name == name ? it : nullptr;
}

// What browsers make of the numeric references 0x80 to 0x9F: the characters of
// Windows-1252 at those places (0 where that code page has none).
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t NumericCharacter(char32_t value) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return 0xFFFD;
    if (value >= 0x80 && value < 0xA0 && kWindows1252[value - 0x80] != 0) {
        return kWindows1252[value - 0x80];
    }
    return value;
}

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(unsigned char c) {
    return IsAsciiDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
int HexValue(unsigned char c) { return IsAsciiDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

bool IsBlankCharacter(char32_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0 || c == 0x3000;
}

// The output of ReadableText, written into a buffer as long as the input (no
// reference, tag or blank run ever gives more bytes than it takes), with runs of
// blanks held back until something follows them.
class Writer {
public:
    explicit Writer(std::size_t capacity) : text_(capacity, '\0'), out_(text_.data()) {}

    void Blank() { blank_ = true; }
    void Bytes(const char* bytes, std::size_t length) {
        if (length == 0) return;
        if (blank_ && out_ != text_.data()) *out_++ = ' ';
        blank_ = false;
        std::memcpy(out_, bytes, length);
        out_ += length;
    }
    void Character(char32_t c) {
        if (IsBlankCharacter(c)) return Blank();
        char gbk[2];
        Bytes(gbk, CodePointToGbk(c, gbk));
    }
    std::string Take() {
        text_.resize(static_cast<std::size_t>(out_ - text_.data()));
        return std::move(text_);
    }

private:
    std::string text_;
    char* out_;
    bool blank_ = false;
};

// Reads the reference that starts with the "&" at `at`; false when there is
// none (the "&" is text). On success `next` is where the text goes on.
bool ReadReference(std::string_view text, std::size_t at, std::size_t& next, char32_t& c) {
    const auto byte = [&](std::size_t k) -> unsigned char {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
    };
    std::size_t i = at + 1;
    if (byte(i) == '#') {
        ++i;
        const bool hex = (byte(i) | 0x20) == 'x';
        if (hex) ++i;
        const std::size_t digits = i;
        char32_t value = 0;
        for (; hex ? IsHexDigit(byte(i)) : IsAsciiDigit(byte(i)); ++i) {
            // Past U+10FFFF the value stays there: it is no character either way.
            value = std::min<char32_t>(
                value * (hex ? 16 : 10) +
                    static_cast<char32_t>(hex ? HexValue(byte(i)) : byte(i) - '0'),
                0x110000);
        }
        if (i == digits) return false;
        if (byte(i) == ';') ++i;
        next = i;
        c = NumericCharacter(value);
        return true;
    }
    std::size_t end = i;
    while (end - i <= kLongestName && (IsAsciiLetter(byte(end)) || IsAsciiDigit(byte(end)))) ++end;
    const std::string_view name = text.substr(i, end - i);
    if (byte(end) == ';' && name.size() <= kLongestName) {
        if (const NamedReference* r = FindName(name)) {
            next = end + 1;
            c = r->code;
            return true;
        }
    }
    // Without its ";", the longest name of those that may stand so.
    for (std::size_t length = std::min(name.size(), kLongestBareName); length >= 2; --length) {
        const NamedReference* r = FindName(name.substr(0, length));
        if (r && r->bare) {
            next = i + length;
            c = r->code;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ReadableText(std::string_view text) {
    const std::size_t n = text.size();
    const char* const data = text.data();
    Writer out(n);
    // Where a search for the end of a tag or comment found none: no later search
    // from there on can find one, so a page full of "<a" stays linear.
    std::size_t noTagEndFrom = n, noCommentEndFrom = n;
    const auto tagEnd = [&](std::size_t from) {
        if (from >= noTagEndFrom) return kNoEnd;
        const std::size_t end = text.find('>', from);
        if (end == std::string_view::npos) noTagEndFrom = from;
        return end == std::string_view::npos ? kNoEnd : end + 1;
    };
    const auto commentEnd = [&](std::size_t from) {
        if (from >= noCommentEndFrom) return kNoEnd;
        const std::size_t end = text.find("-->", from);
        if (end == std::string_view::npos) noCommentEndFrom = from;
        return end == std::string_view::npos ? kNoEnd : end + 3;
    };
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80) {
            // A lead byte and its trail byte are one character; "<", "&" and the
            // other bytes below 0x40 are never a trail byte.
            const bool pair = i + 1 < n && static_cast<unsigned char>(data[i + 1]) >= 0x40;
            if (pair && c == 0xA1 && static_cast<unsigned char>(data[i + 1]) == 0xA1) {
                out.Blank();
            } else {
                out.Bytes(data + i, pair ? 2 : 1);
            }
            i += pair ? 2 : 1;
        } else if (c == '<' && i + 1 < n &&
                   (IsAsciiLetter(data[i + 1]) || data[i + 1] == '/' || data[i + 1] == '!' ||
                    data[i + 1] == '?')) {
            // "<!-->" and "<!--->" are whole comments, as browsers read them.
            std::size_t end = text.substr(i, 4) == "<!--" ? commentEnd(i + 2) : kNoEnd;
            if (end == kNoEnd) end = tagEnd(i + 1);
            if (end == kNoEnd) {
                // A tag that never ends is no tag: it stays as written.
                out.Bytes(data + i, 1);
                ++i;
            } else {
                i = end;
            }
        } else if (c == '&') {
            std::size_t next = 0;
            char32_t character = 0;
            if (ReadReference(text, i, next, character)) {
                out.Character(character);
                i = next;
            } else {
                out.Bytes(data + i, 1);
                ++i;
            }
        } else if (IsBlankCharacter(c)) {
            out.Blank();
            ++i;
        } else {
            out.Bytes(data + i, 1);
            ++i;
        }
    }
    return out.Take();
}

}  // namespace vela
