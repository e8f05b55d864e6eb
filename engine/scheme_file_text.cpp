#include "scheme_file_text.h"

#include <cstdio>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/utf8_decode.h"

namespace vela {

std::string Shown(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (out.size() >= 60 && (c & 0xC0) != 0x80) return out + "…";
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    return out;
}

std::string ShownMessage(std::string_view utf8) {
    std::string out(utf8);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

std::string CodePointName(std::string_view utf8Char) {
    const char32_t cp = DecodeUtf8(utf8Char, 0).code;
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
    return name;
}

std::optional<std::string> ExactGbk(std::string_view utf8, std::string& culprit) {
    std::string gbk = Utf8ToGbk(utf8);
    if (utf8.find('\0') == std::string_view::npos && GbkToUtf8(gbk) == utf8) return gbk;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view c = utf8.substr(i, length);
        if (c[0] == '\0' || GbkToUtf8(Utf8ToGbk(c)) != c) {
            culprit = CodePointName(c);
            const auto first = static_cast<unsigned char>(c[0]);
            if (first >= 0x20 && first != 0x7F) culprit += " '" + std::string(c) + "'";
            return std::nullopt;
        }
        i += length;
    }
    culprit = "?";
    return std::nullopt;
}

std::optional<std::string> ExactUtf8(std::string_view gbk, std::string& culprit) {
    std::string utf8 = GbkToUtf8(gbk);
    if (gbk.find('\0') == std::string_view::npos && Utf8ToGbk(utf8) == gbk) return utf8;
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t length = GbkCharLength(gbk, i);
        const std::string_view c = gbk.substr(i, length);
        if (c[0] == '\0' || Utf8ToGbk(GbkToUtf8(c)) != c) {
            char bytes[32];
            if (length == 2) {
                std::snprintf(bytes, sizeof bytes, "%02X %02X", static_cast<unsigned char>(c[0]),
                              static_cast<unsigned char>(c[1]));
            } else {
                std::snprintf(bytes, sizeof bytes, "%02X", static_cast<unsigned char>(c[0]));
            }
            culprit = "the bytes " + std::string(bytes) + " at byte " + std::to_string(i + 1);
            return std::nullopt;
        }
        i += length;
    }
    culprit = "a byte";
    return std::nullopt;
}

std::string_view Utf8CharAt(std::string_view text, std::size_t i, char32_t& cp) {
    const Utf8Char c = DecodeUtf8(text, i);
    if (!c.valid) return {};
    cp = c.code;
    return text.substr(i, c.length);
}

}  // namespace vela
