#include "page_encoding.h"

#include <string>

#include "fetch/utf8_decode.h"

namespace vela {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

// The charset named after "charset=" in `text`, lower case; empty when none.
std::string CharsetIn(std::string_view lowered) {
    const std::size_t at = lowered.find("charset");
    if (at == std::string_view::npos) return {};
    std::size_t i = at + 7;
    while (i < lowered.size() && (lowered[i] == ' ' || lowered[i] == '=' || lowered[i] == '"' ||
                                  lowered[i] == '\'')) {
        ++i;
    }
    std::size_t j = i;
    while (j < lowered.size() && ((lowered[j] >= 'a' && lowered[j] <= 'z') ||
                                  (lowered[j] >= '0' && lowered[j] <= '9') || lowered[j] == '-' ||
                                  lowered[j] == '_')) {
        ++j;
    }
    return std::string(lowered.substr(i, j - i));
}

enum class Named { kNone, kGbk, kUtf8 };

Named NamedCharset(const std::string& charset) {
    if (charset.empty()) return Named::kNone;
    if (charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "x-gbk" ||
        charset == "cp936" || charset == "euc-cn" || charset == "hz-gb-2312") {
        return Named::kGbk;
    }
    if (charset == "utf-8" || charset == "utf8") return Named::kUtf8;
    return Named::kNone;
}

// True when the bytes hold characters beyond ASCII and all of them are UTF-8.
bool SurelyUtf8(std::string_view page) {
    std::size_t wide = 0;
    for (std::size_t i = 0; i < page.size();) {
        if (static_cast<unsigned char>(page[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Char c = DecodeUtf8(page, i);
        // A page cut at the size limit may end inside a character.
        if (!c.valid) return i + 4 >= page.size() && wide > 0;
        ++wide;
        i += c.length;
    }
    return wide > 0;
}

}  // namespace

bool IsGbkPage(std::string_view page, std::string_view contentType) {
    if (page.substr(0, 3) == "\xEF\xBB\xBF") return false;
    const Named header = NamedCharset(CharsetIn(LowerAscii(contentType)));
    if (header != Named::kNone) return header == Named::kGbk;
    if (SurelyUtf8(page)) return false;
    const std::string head = LowerAscii(page.substr(0, 4096));
    for (std::size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        const std::size_t end = head.find('>', at);
        const Named meta = NamedCharset(CharsetIn(std::string_view(head).substr(at, end - at)));
        if (meta != Named::kNone) return meta == Named::kGbk;
    }
    for (const char c : page) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

}  // namespace vela
