#pragma once

#include <cstdint>
#include <string_view>

namespace vela {

// The integer a cell text starts with: leading blanks (ASCII space, tab, the GBK
// full-width space) and one sign allowed, full-width digits read as ASCII digits.
// 0 when the text does not start with a number; clamped to the 32-bit range.
int32_t LeadingInteger(std::string_view gbk);

// The same reading for article ids, which some sites number beyond 32 bits:
// clamped to the 64-bit range.
int64_t LeadingInteger64(std::string_view gbk);

}  // namespace vela
