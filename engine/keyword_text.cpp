#include "keyword_text.h"

namespace vela {

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
