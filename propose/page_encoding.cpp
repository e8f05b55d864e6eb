#include "page_encoding.h"

#include <algorithm>
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
    while (i < lowered.size() &&
           (lowered[i] == ' ' || lowered[i] == '=' || lowered[i] == '"' || lowered[i] == '\'')) {
        ++i;
    }
    std::size_t j = i;
    while (j < lowered.size() &&
           ((lowered[j] >= 'a' && lowered[j] <= 'z') || (lowered[j] >= '0' && lowered[j] <= '9') ||
            lowered[j] == '-' || lowered[j] == '_')) {
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

// What the bytes say by themselves: UTF-8 when every character beyond ASCII is
// UTF-8 (a page cut at the size limit may end inside one), GBK when most are not,
// nothing when they are mixed or there are none.
Named BytesVerdict(std::string_view page) {
    std::size_t valid = 0, invalid = 0;
    for (std::size_t i = 0; i < page.size();) {
        if (static_cast<unsigned char>(page[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Char c = DecodeUtf8(page, i);
        if (c.valid) {
            ++valid;
        } else if (i + 4 < page.size()) {
            ++invalid;
        }
        i += std::max<std::size_t>(c.length, 1);
    }
    if (valid > 0 && invalid == 0) return Named::kUtf8;
    if (invalid > valid) return Named::kGbk;
    return Named::kNone;
}

}  // namespace

bool IsGbkPage(std::string_view page, std::string_view contentType) {
    if (page.substr(0, 3) == "\xEF\xBB\xBF") return false;
    const Named header = NamedCharset(CharsetIn(LowerAscii(contentType)));
    if (header != Named::kNone) return header == Named::kGbk;
    const Named bytes = BytesVerdict(page);
    if (bytes != Named::kNone) return bytes == Named::kGbk;
    const std::string head = LowerAscii(page.substr(0, 4096));
    for (std::size_t at = head.find("<meta"); at != std::string::npos;
         at = head.find("<meta", at + 5)) {
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
