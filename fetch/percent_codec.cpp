#include "fetch/percent_codec.h"

namespace vela {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool IsUnreserved(unsigned char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

void AppendPercentEncoded(std::string& out, std::string_view bytes, KeptByte keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
}

std::string PercentEncode(std::string_view bytes, KeptByte keep) {
    std::string out;
    out.reserve(bytes.size());
    AppendPercentEncoded(out, bytes, keep);
    return out;
}

std::string PercentDecode(std::string_view text, PlusSign plus) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int high = -1;
        int low = -1;
        if (text[i] == '%' && i + 2 < text.size() && (high = HexValue(text[i + 1])) >= 0 &&
            (low = HexValue(text[i + 2])) >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (text[i] == '+' && plus == PlusSign::Blank) {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace vela
