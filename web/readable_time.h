#pragma once

#include <ctime>
#include <string>
#include <string_view>

// The stored time texts ("2026-12-11 9:5 7") as a person reads them on a page:
// how long ago for what happened today, the full time with its leading zeros
// for the rest.

namespace vela {

struct ReadableTime {
    std::string text;     // UTF-8: "刚刚", "3 分钟前", "2 小时前" or "2026-12-11 09:05:07"
    std::string full;     // "2026-12-11 09:05:07"
    std::string rfc3339;  // for a machine: 2026-12-11T09:05:07+08:00
};

// False when `stored` is not a time of that form (the page then shows it as it
// stands). A time less than a minute ago, or less than a minute ahead of `now`
// (clocks differ a little), is "刚刚"; minutes and hours follow up to a day; a
// time further back, or further ahead, is the full time.
bool ReadStoredTime(std::string_view stored, std::time_t now, ReadableTime& out);

}  // namespace vela
