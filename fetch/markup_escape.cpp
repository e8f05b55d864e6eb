#include "fetch/markup_escape.h"

#include "fetch/utf8_decode.h"

namespace vela {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

void AppendMarkupEscaped(std::string& out, std::string_view utf8, ControlCharacters controls) {
    out.reserve(out.size() + utf8.size() + utf8.size() / 8);
    std::size_t i = 0;
    while (i < utf8.size()) {
        // A run of bytes that stay as they are goes out in one piece: printable
        // ASCII without markup, and well-formed UTF-8 sequences of allowed code
        // points (checked one by one, since most titles are Chinese).
        std::size_t run = i;
        for (;;) {
            if (run == utf8.size()) break;
            const unsigned char c = static_cast<unsigned char>(utf8[run]);
            if (c >= 0x80) {
                const Utf8Char u = DecodeUtf8(utf8, run);
                // C1 controls are legal XML but no title means them; U+FFFE and
                // U+FFFF are not characters in XML at all.
                if (!u.valid || u.code < 0xA0 || u.code == 0xFFFE || u.code == 0xFFFF) break;
                run += u.length;
            } else if (c < 0x20 || c == 0x7F || c == '&' || c == '<' || c == '>' || c == '"' ||
                       c == '\'') {
                break;
            } else {
                ++run;
            }
        }
        out.append(utf8.substr(i, run - i));
        i = run;
        if (i == utf8.size()) break;
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) {
            const Utf8Char u = DecodeUtf8(utf8, i);
            const bool control = u.valid && u.code < 0xA0;
            out += control && controls == ControlCharacters::Blanks ? " " : kReplacement;
            i += u.valid ? u.length : 1;
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
                out += controls == ControlCharacters::Blanks ? " " : kReplacement;
        }
        ++i;
    }
}

std::string MarkupEscaped(std::string_view utf8, ControlCharacters controls) {
    std::string out;
    AppendMarkupEscaped(out, utf8, controls);
    return out;
}

}  // namespace vela
