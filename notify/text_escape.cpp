#include "text_escape.h"

#include "fetch/encoding.h"
#include "fetch/markup_escape.h"
#include "fetch/percent_codec.h"
#include "fetch/utf8_decode.h"

namespace vela {
namespace {

bool IsControl(char32_t cp) { return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0); }

// Calls `each(cp)` for every character, each byte of a malformed sequence as U+FFFD.
template <typename F>
void ForEachCodePoint(std::string_view text, F each) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeUtf8(text, pos);
        each(c.code);
        pos += c.valid ? c.length : 1;
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
    return MarkupEscaped(text, ControlCharacters::Blanks);
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
    return PercentEncode(link, [](unsigned char byte) {
        return IsUnreserved(byte) ||
               std::string_view(":/?#@!$&*+,;=%").find(static_cast<char>(byte)) !=
                   std::string_view::npos;
    });
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
        const Utf8Char c = DecodeUtf8(text, pos);
        const std::size_t length = c.valid ? c.length : 1;
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
