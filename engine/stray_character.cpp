#include "stray_character.h"

#include <string>

#include "fetch/gbk_search.h"
#include "scheme_file_text.h"

namespace vela {

std::optional<std::string_view> StrayCharacter(std::string_view text, int& line) {
    enum class In { Plain, Comment, Basic, Literal, MultiBasic, MultiLiteral } in = In::Plain;
    const std::size_t n = text.size();
    std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    line = 1;
    char last = '\n';  // the last character outside strings on this line, blanks aside
    auto at = [&](std::string_view token) { return text.substr(i, token.size()) == token; };
    while (i < n) {
        const char c = text[i];
        if (c == '\n' && in != In::MultiBasic && in != In::MultiLiteral) {
            ++line;
            ++i;
            in = In::Plain;  // a one-line string or a comment ends with its line
            last = '\n';
            continue;
        }
        switch (in) {
            case In::Plain: {
                if (static_cast<unsigned char>(c) >= 0x80) {
                    // A malformed sequence is left to the parser, which stops there.
                    char32_t cp = 0;
                    const std::string_view character = Utf8CharAt(text, i, cp);
                    if (character.empty()) return std::nullopt;
                    return character;
                }
                const bool stringMayStart = std::string_view("\n=[{,.").find(last) != kNotFound;
                if (c == '#') {
                    in = In::Comment;
                } else if ((c == '"' || c == '\'') && stringMayStart) {
                    const bool multi = at(std::string(3, c));
                    in = c == '"' ? (multi ? In::MultiBasic : In::Basic)
                                  : (multi ? In::MultiLiteral : In::Literal);
                    if (multi) i += 2;
                } else if (c != ' ' && c != '\t') {
                    last = c;
                }
                ++i;
                break;
            }
            case In::Comment:
                ++i;
                break;
            case In::Basic:
            case In::Literal: {
                const char quote = in == In::Basic ? '"' : '\'';
                if (in == In::Basic && c == '\\' && i + 1 < n && text[i + 1] != '\n') {
                    // No escape starts with a character beyond ASCII.
                    char32_t cp = 0;
                    const std::string_view escaped = Utf8CharAt(text, i + 1, cp);
                    if (!escaped.empty() && cp >= 0x80) return escaped;
                    ++i;
                }
                if (c == quote) {
                    in = In::Plain;
                    last = c;
                }
                ++i;
                break;
            }
            case In::MultiBasic:
            case In::MultiLiteral: {
                const bool basic = in == In::MultiBasic;
                if (c == '\n') ++line;
                if (basic && c == '\\') {
                    // A line-ending backslash takes the blanks and line breaks after it.
                    std::size_t j = i + 1;
                    while (j < n && (text[j] == ' ' || text[j] == '\t')) ++j;
                    if (j < n && (text[j] == '\n' || text[j] == '\r')) {
                        while (j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\n' ||
                                         text[j] == '\r')) {
                            if (text[j] == '\n') ++line;
                            ++j;
                        }
                        i = j;
                    } else if (j < n && static_cast<unsigned char>(text[j]) >= 0x80) {
                        // No escape starts with a character beyond ASCII, and the parser
                        // asks whether this one is a blank.
                        char32_t cp = 0;
                        const std::string_view character = Utf8CharAt(text, j, cp);
                        if (!character.empty()) return character;
                        return std::nullopt;
                    } else {
                        i += 2;
                    }
                    break;
                }
                if (at(std::string(3, basic ? '"' : '\''))) {
                    // Up to two quotes more belong to the text before the closing three.
                    i += 3;
                    for (int extra = 0; extra < 2 && i < n && text[i] == c; ++extra) ++i;
                    in = In::Plain;
                    last = c;
                    break;
                }
                ++i;
                break;
            }
        }
    }
    return std::nullopt;
}

}  // namespace vela
