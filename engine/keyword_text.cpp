#include "keyword_text.h"

#include "fetch/gbk_search.h"

namespace vela {

KeywordUnit FoldedUnitAt(std::string_view gbk, std::size_t pos, std::size_t& length) {
    length = GbkCharLength(gbk, pos);
    const auto lead = static_cast<unsigned char>(gbk[pos]);
    if (length == 1) {
        return lead >= 'A' && lead <= 'Z' ? static_cast<KeywordUnit>(lead + ('a' - 'A')) : lead;
    }
    const auto trail = static_cast<unsigned char>(gbk[pos + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        const unsigned char ascii = static_cast<unsigned char>(trail - 0xA1 + 0x21);
        return ascii >= 'A' && ascii <= 'Z' ? static_cast<KeywordUnit>(ascii + ('a' - 'A')) : ascii;
    }
    if (lead == 0xA1 && trail == 0xA1) return ' ';
    return static_cast<KeywordUnit>(lead << 8 | trail);
}

KeywordUnits FoldedUnits(std::string_view gbk, std::size_t limit) {
    KeywordUnits units;
    units.reserve(gbk.size() < limit ? gbk.size() : limit);
    for (std::size_t pos = 0, length = 0; pos < gbk.size() && units.size() < limit; pos += length) {
        units.push_back(FoldedUnitAt(gbk, pos, length));
    }
    return units;
}

void AppendUnitBytes(std::string& gbk, KeywordUnit unit) {
    if (unit > 0xFF) gbk.push_back(static_cast<char>(unit >> 8));
    gbk.push_back(static_cast<char>(unit & 0xFF));
}

}  // namespace vela
