#include "feed_time.h"

namespace vela {
namespace {

// Reads an unsigned decimal of 1 to `maxDigits` digits at `pos`.
bool ReadNumber(std::string_view text, std::size_t& pos, int maxDigits, int& value) {
    value = 0;
    int digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (++digits > maxDigits) return false;
        value = value * 10 + (text[pos++] - '0');
    }
    return digits > 0;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<StoredTime> ParseStoredTime(std::string_view text) {
    std::size_t pos = 0;
    int year, month, day, hour, minute, second;
    if (!ReadNumber(text, pos, 4, year) || !Expect(text, pos, '-') ||
        !ReadNumber(text, pos, 2, month) || !Expect(text, pos, '-') ||
        !ReadNumber(text, pos, 2, day) || !Expect(text, pos, ' ') ||
        !ReadNumber(text, pos, 2, hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, minute) || !Expect(text, pos, ' ') ||
        !ReadNumber(text, pos, 2, second) || pos != text.size()) {
        return std::nullopt;
    }
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::tm wall{};
    wall.tm_year = year - 1900;
    wall.tm_mon = month - 1;
    wall.tm_mday = day;
    wall.tm_hour = hour;
    wall.tm_min = minute;
    wall.tm_sec = second;
    // The wall time read as UTC, less the local offset of then. mktime would do
    // the same but looks at the time zone file again on every call; localtime_r
    // does not. The offset near the instant is taken first, then the offset at
    // the instant found, which differs only across a change of offset.
    const std::time_t asUtc = timegm(&wall);
    std::tm shown{};
    localtime_r(&asUtc, &shown);
    std::time_t when = asUtc - shown.tm_gmtoff;
    const long firstOffset = shown.tm_gmtoff;
    localtime_r(&when, &shown);
    if (shown.tm_gmtoff != firstOffset) {
        when = asUtc - shown.tm_gmtoff;
        localtime_r(&when, &shown);
    }
    // A time inside a daylight-saving gap names no instant; the text then shows
    // the wall time of the instant found, with its own offset, so both agree.
    return StoredTime{when, Rfc3339Date(shown)};
}

}  // namespace vela
