#include "feed_time.h"

#include <array>
#include <cstdio>

namespace vela {
namespace {

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

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

int DaysInMonth(int year, int month) {
    static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDaysIn[month - 1];
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
    const long offset = shown.tm_gmtoff;
    const long offsetMinutes = (offset < 0 ? -offset : offset) / 60;
    // Formatted by hand: this runs for every entry of every feed and page.
    char buffer[32];
    char* p = buffer;
    const auto digits = [&p](long value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        p += width;
    };
    digits(shown.tm_year + 1900, 4);
    *p++ = '-';
    digits(shown.tm_mon + 1, 2);
    *p++ = '-';
    digits(shown.tm_mday, 2);
    *p++ = 'T';
    digits(shown.tm_hour, 2);
    *p++ = ':';
    digits(shown.tm_min, 2);
    *p++ = ':';
    digits(shown.tm_sec, 2);
    *p++ = offset < 0 ? '-' : '+';
    digits(offsetMinutes / 60 % 100, 2);
    *p++ = ':';
    digits(offsetMinutes % 60, 2);
    *p = '\0';
    return StoredTime{when, buffer};
}

std::string HttpDate(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return buffer;
}

std::optional<std::time_t> ParseHttpDate(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters, fixed positions.
    if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    std::size_t pos = 5;
    int day, year, hour, minute, second;
    if (!ReadNumber(text, pos, 2, day) || !Expect(text, pos, ' ')) return std::nullopt;
    int month = -1;
    for (int i = 0; i < 12; ++i) {
        if (text.substr(pos, 3) == kMonths[i]) month = i;
    }
    pos += 3;
    if (month < 0 || !Expect(text, pos, ' ') || !ReadNumber(text, pos, 4, year) ||
        !Expect(text, pos, ' ') || !ReadNumber(text, pos, 2, hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, minute) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, second) || pos != 25) {
        return std::nullopt;
    }
    if (year < 1970 || day < 1 || day > DaysInMonth(year, month + 1) || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return timegm(&utc);
}

}  // namespace vela
