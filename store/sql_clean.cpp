#include "sql_clean.h"

namespace vela {

std::string SqlClean(std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
            case '\'':
                out += "''";
                break;
            case ';':
                out += "\xA3\xBB";
                break;
            case '(':
                out += "\xA3\xA8";
                break;
            case ')':
                out += "\xA3\xA9";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') {
                    ++i;
                } else {
                    out += c;
                }
                break;
            default:
                out += c;
        }
    }
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
