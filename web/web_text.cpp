#include "web_text.h"

#include "fetch/encoding.h"

namespace vela {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text` and its code
// point, or 0 when it is malformed (overlong forms and surrogates included).
std::size_t DecodeOne(std::string_view text, char32_t& cp) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    std::size_t length = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return length;
}

}  // namespace

std::string StoredText(std::string_view gbk) {
    std::string out;
    for (;;) {
        const std::size_t zero = gbk.find('\0');
        out += GbkToUtf8(gbk.substr(0, zero));
        if (zero == std::string_view::npos) return out;
        out += '?';
        gbk.remove_prefix(zero + 1);
    }
}

void AppendEscaped(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            char32_t cp = 0;
            const std::size_t n = DecodeOne(utf8.substr(i), cp);
            // C1 controls are legal XML but no title means them; U+FFFE and
            // U+FFFF are not characters in XML at all.
            if (n == 0 || cp < 0xA0 || cp == 0xFFFE || cp == 0xFFFF) {
                out += kReplacement;
                i += n == 0 ? 1 : n;
            } else {
                out.append(utf8.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\t':
            case '\n':
            case '\r':
                out += ' ';
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += kReplacement;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
}

std::string Escaped(std::string_view utf8) {
    std::string out;
    AppendEscaped(out, utf8);
    return out;
}

bool IsWebLink(std::string_view link) {
    const auto startsWith = [&](std::string_view prefix) {
        if (link.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = link[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

uint64_t Digest64(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex64(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

}  // namespace vela
