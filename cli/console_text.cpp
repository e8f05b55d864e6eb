#include "console_text.h"

#include "fetch/encoding.h"

namespace vela {

std::string ConsoleText(std::string_view gbk) {
    // The conversion ends at a zero byte; what follows still prints.
    std::string out;
    for (;;) {
        const std::size_t zero = gbk.find('\0');
        out += GbkToUtf8(gbk.substr(0, zero));
        if (zero == std::string_view::npos) return out;
        out += '?';
        gbk.remove_prefix(zero + 1);
    }
}

std::string ConsoleField(std::string_view gbk) {
    std::string text = ConsoleText(gbk);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return text;
}

}  // namespace vela
