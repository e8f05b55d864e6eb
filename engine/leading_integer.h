#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vela {

// The integer a cell text starts with: leading blanks (ASCII space, tab, the GBK
// full-width space) and one sign allowed, full-width digits read as ASCII digits.
// 0 when the text does not start with a number; clamped to the 32-bit range.
int32_t LeadingInteger(std::string_view gbk);

// The same reading at any length, for article ids, which some sites number beyond
// 64 bits: "-" for a number below zero, then its digits in ASCII without leading
// zeros; "0" for zero and for a text that does not start with a number.
// `isNumber`, when given, says whether it does.
std::string LeadingNumberText(std::string_view gbk, bool* isNumber = nullptr);

}  // namespace vela
