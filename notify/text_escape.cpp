#include "text_escape.h"

#include <cctype>

#include "fetch/encoding.h"

namespace vela {
namespace {

bool IsControl(char32_t cp) { return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0); }

// Calls `each(cp, bytes)` for every character, malformed sequences as U+FFFD.
template <typename F>
void ForEachCodePoint(std::string_view text, F each) {
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = NextCodePoint(text, pos, cp);
        each(cp);
        pos += length;
    }
}

// Each ASCII character in `from` replaced by the character at the same place in
// `to` (U+FF01 to U+FF5E are the full-width forms of ! to ~).
std::string FullWidth(std::string_view text, std::string_view marked) {
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t cp) {
        if (IsControl(cp)) {
            out += ' ';
        } else if (cp < 0x80 && marked.find(static_cast<char>(cp)) != std::string_view::npos) {
            AppendUtf8(out, cp - 0x21 + 0xFF01);
        } else {
            AppendUtf8(out, cp);
        }
    });
    return out;
}

const char kHex[] = "0123456789ABCDEF";

}  // namespace

std::size_t NextCodePoint(std::string_view text, std::size_t pos, char32_t& cp) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    cp = 0xFFFD;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 1;
    }
    if (pos + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return 1;
        value = (value << 6) | (byte(pos + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
    cp = value;
    return length;
}

std::string PlainLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t cp) {
        if (IsControl(cp)) {
            out += ' ';
        } else {
            AppendUtf8(out, cp);
        }
    });
    return out;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t cp) {
        switch (cp) {
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
            default:
                if (IsControl(cp)) {
                    out += ' ';
                } else {
                    AppendUtf8(out, cp);
                }
        }
    });
    return out;
}

std::string EscapeRobotMarkdown(std::string_view text) {
    return FullWidth(text, "\\`*_~[]()#<>@|!&");
}

std::string EscapeTagText(std::string_view text) { return FullWidth(text, "<>&"); }

std::string EscapeDiscord(std::string_view text) {
    static constexpr std::string_view kMarked = "\\*_~`|<>#-[]()@:!.+=";
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t cp) {
        if (IsControl(cp)) {
            out += ' ';
            return;
        }
        if (cp < 0x80 && kMarked.find(static_cast<char>(cp)) != std::string_view::npos) {
            out += '\\';
        }
        AppendUtf8(out, cp);
    });
    return out;
}

std::string EncodeLink(std::string_view link) {
    // Reserved and unreserved URL characters that no markup here gives a meaning
    // inside a link target; '%' stays so that an encoded link is not encoded twice.
    static constexpr std::string_view kKept = "-._~:/?#@!$&*+,;=%";
    std::string out;
    out.reserve(link.size());
    for (char c : link) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || kKept.find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

bool IsHttpLink(std::string_view link) {
    const auto starts = [&](std::string_view prefix) {
        if (link.size() <= prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(link[i])) != prefix[i]) return false;
        }
        return true;
    };
    return starts("http://") || starts("https://");
}

std::string QueryEncode(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::size_t TextLength(std::string_view text, LengthUnit unit) {
    if (unit == LengthUnit::Bytes) return text.size();
    std::size_t length = 0;
    ForEachCodePoint(text, [&](char32_t cp) { length += cp >= 0x10000 ? 2 : 1; });
    return length;
}

std::string EscapedPrefix(std::string_view text, std::string (*escape)(std::string_view),
                          LengthUnit unit, std::size_t budget) {
    std::string whole = escape(text);
    if (TextLength(whole, unit) <= budget) return whole;
    static constexpr std::string_view kEllipsis = "…";
    const std::size_t ellipsis = TextLength(kEllipsis, unit);
    if (budget < ellipsis) return {};
    // Every escaping function works character by character, so the escaped
    // prefix is the sum of the escaped characters.
    std::string out;
    std::size_t used = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = NextCodePoint(text, pos, cp);
        const std::string piece = escape(text.substr(pos, length));
        const std::size_t pieceLength = TextLength(piece, unit);
        if (used + pieceLength + ellipsis > budget) break;
        out += piece;
        used += pieceLength;
        pos += length;
    }
    out += kEllipsis;
    return out;
}

std::string RobotMarkdownTitle(const std::string& title) { return "**" + title + "**"; }

std::string RobotMarkdownScheme(const std::string& scheme) { return "**【" + scheme + "】**"; }

std::string RobotMarkdownArticle(const std::string& title, const std::string& link) {
    if (IsHttpLink(link)) {
        return "[" + (title.empty() ? "链接" : title) + "](" + EncodeLink(link) + ")";
    }
    return link.empty() ? title : title + " " + EscapeRobotMarkdown(link);
}

}  // namespace vela
