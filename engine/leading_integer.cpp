#include "leading_integer.h"

#include <algorithm>
#include <cstdint>

namespace vela {
namespace {

// The digit at `i` (ASCII or full-width A3 B0 … A3 B9) and its byte length, or -1.
int DigitAt(std::string_view s, size_t i, size_t& length) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    if (i < s.size() && byte(i) >= '0' && byte(i) <= '9') {
        length = 1;
        return byte(i) - '0';
    }
    if (i + 1 < s.size() && byte(i) == 0xA3 && byte(i + 1) >= 0xB0 && byte(i + 1) <= 0xB9) {
        length = 2;
        return byte(i + 1) - 0xB0;
    }
    return -1;
}

// Where the number of `s` starts: past the leading blanks and a sign.
std::size_t NumberStart(std::string_view s, bool& negative) {
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ' || s[i] == '\t') {
            ++i;
        } else if (i + 1 < s.size() && s[i] == '\xA1' && s[i + 1] == '\xA1') {
            i += 2;
        } else {
            break;
        }
    }
    negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    return i;
}

}  // namespace

std::string LeadingNumberText(std::string_view s, bool* isNumber) {
    bool negative = false;
    size_t i = NumberStart(s, negative);
    std::string text = negative ? "-" : "";
    size_t length = 0;
    bool any = false;
    for (int digit; (digit = DigitAt(s, i, length)) >= 0; i += length) {
        any = true;
        if (digit == 0 && text.size() == (negative ? 1u : 0u)) continue;  // a leading zero
        text.push_back(static_cast<char>('0' + digit));
    }
    if (isNumber) *isNumber = any;
    // Zero has no sign: "-0" and "-000" are 0.
    if (text.empty() || text == "-") return "0";
    return text;
}

int32_t LeadingInteger(std::string_view s) {
    bool negative = false;
    size_t i = NumberStart(s, negative);
    // Accumulated as a magnitude that stops just past the 32-bit range.
    constexpr int64_t kLimit = int64_t{1} << 31;
    int64_t value = 0;
    size_t length = 0;
    for (int digit; (digit = DigitAt(s, i, length)) >= 0; i += length) {
        value = std::min(value * 10 + digit, kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit - 1));
}

}  // namespace vela
