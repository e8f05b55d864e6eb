#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// Dates in the forms other programs read: HTTP headers, mail headers, feeds.
// Written by hand with English names, so the process's locale (zh_CN in the
// window, where strftime's %a and %b are Chinese) never shows in them.

namespace vela {

// RFC 9110's IMF-fixdate, always in GMT: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(std::time_t when);
// An IMF-fixdate back to its instant; empty for anything else (the obsolete
// forms, another zone, a day the month does not have, a year before 1970).
std::optional<std::time_t> ParseHttpDate(std::string_view text);

// RFC 5322's date of a mail, in UTC: "Sun, 06 Nov 1994 08:49:37 +0000".
std::string MailDate(std::time_t when);

// RFC 3339 (the Atom feed's form) of a broken-down time and the UTC offset it
// carries (tm_gmtoff, as localtime_r fills it): "1994-11-06T14:19:37+05:30".
std::string Rfc3339Date(const std::tm& time);

// The days of a month (1 to 12) of the Gregorian calendar.
int DaysInMonth(int year, int month);

}  // namespace vela
