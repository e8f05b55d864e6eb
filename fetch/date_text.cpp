#include "fetch/date_text.h"

#include <array>

namespace vela {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// `value` in decimal, zero-padded to at least `width` digits.
void AppendNumber(std::string& out, long long value, int width) {
    if (value < 0) {
        out += '-';
        value = -value;
    }
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = count; i < width; ++i) out += '0';
    while (count > 0) out += digits[--count];
}

// "Sun, 06 Nov 1994 08:49:37 " followed by `zone`, or the first second of 1970
// when the instant has no broken-down form.
std::string HeaderDate(std::time_t when, std::string_view zone) {
    std::tm utc{};
    if (!gmtime_r(&when, &utc)) {
        utc = {};
        utc.tm_year = 70;
        utc.tm_mday = 1;
        utc.tm_wday = 4;
    }
    std::string out;
    out.reserve(32);
    out += kDays[static_cast<std::size_t>(utc.tm_wday) % 7];
    out += ", ";
    AppendNumber(out, utc.tm_mday, 2);
    out += ' ';
    out += kMonths[static_cast<std::size_t>(utc.tm_mon) % 12];
    out += ' ';
    AppendNumber(out, utc.tm_year + 1900LL, 4);
    out += ' ';
    AppendNumber(out, utc.tm_hour, 2);
    out += ':';
    AppendNumber(out, utc.tm_min, 2);
    out += ':';
    AppendNumber(out, utc.tm_sec, 2);
    out += ' ';
    out += zone;
    return out;
}

// The `count` decimal digits at `pos`, or -1 when one of them is no digit.
int Digits(std::string_view text, std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDaysIn[month - 1];
}

std::string HttpDate(std::time_t when) { return HeaderDate(when, "GMT"); }

std::string MailDate(std::time_t when) { return HeaderDate(when, "+0000"); }

std::optional<std::time_t> ParseHttpDate(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters, fixed positions. The day's
    // name is not checked: the date itself says which day it is.
    if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' ||
        text[16] != ' ' || text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    int month = -1;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (text.substr(8, 3) == kMonths[i]) month = static_cast<int>(i);
    }
    const int day = Digits(text, 5, 2);
    const int year = Digits(text, 12, 4);
    const int hour = Digits(text, 17, 2);
    const int minute = Digits(text, 20, 2);
    const int second = Digits(text, 23, 2);
    if (month < 0 || day < 1 || year < 1970 || hour < 0 || minute < 0 || second < 0 ||
        day > DaysInMonth(year, month + 1) || hour > 23 || minute > 59 || second > 60) {
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

std::string Rfc3339Date(const std::tm& time) {
    const long offset = time.tm_gmtoff;
    const long offsetMinutes = (offset < 0 ? -offset : offset) / 60;
    std::string out;
    out.reserve(25);
    AppendNumber(out, time.tm_year + 1900LL, 4);
    out += '-';
    AppendNumber(out, time.tm_mon + 1, 2);
    out += '-';
    AppendNumber(out, time.tm_mday, 2);
    out += 'T';
    AppendNumber(out, time.tm_hour, 2);
    out += ':';
    AppendNumber(out, time.tm_min, 2);
    out += ':';
    AppendNumber(out, time.tm_sec, 2);
    out += offset < 0 ? '-' : '+';
    AppendNumber(out, offsetMinutes / 60 % 100, 2);
    out += ':';
    AppendNumber(out, offsetMinutes % 60, 2);
    return out;
}

}  // namespace vela
