#include "console_text.h"

#include "fetch/encoding.h"

namespace vela {

std::string ConsoleText(std::string_view gbk) { return GbkTextToUtf8(gbk); }

std::string ConsoleField(std::string_view gbk) {
    std::string text = ConsoleText(gbk);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return text;
}

}  // namespace vela
