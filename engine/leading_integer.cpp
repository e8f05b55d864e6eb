#include "leading_integer.h"

#include <cstdint>
#include <limits>

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

}  // namespace

int64_t LeadingInteger64(std::string_view s) {
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
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    // Accumulated as a magnitude that stops at 2^63, the largest a signed value needs.
    constexpr uint64_t kLimit = uint64_t{1} << 63;
    uint64_t value = 0;
    size_t length = 0;
    for (int digit; (digit = DigitAt(s, i, length)) >= 0; i += length) {
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    if (negative)
        return value >= kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
    return value >= kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(value);
}

int32_t LeadingInteger(std::string_view s) {
    int64_t value = LeadingInteger64(s);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace vela
