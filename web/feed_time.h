#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// HttpDate and ParseHttpDate for the feeds' Last-Modified and the answers' Date.
#include "fetch/date_text.h"

// The stored time texts ("2016-9-9 8:5 7", local time, no leading zeros) in the
// forms feeds and HTTP need.

namespace vela {

struct StoredTime {
    std::time_t when = 0;  // the instant, for HTTP dates and comparisons
    std::string rfc3339;   // 2016-09-09T08:05:07+08:00, with the local offset of then
};

// The stored text read as local time. Empty when it is not a time of that form
// or names no real date.
std::optional<StoredTime> ParseStoredTime(std::string_view text);

// Feeds need a time for every entry: the one for an entry whose stored time is
// unreadable, and for a feed without entries, so that both stay the same from
// one request to the next.
inline constexpr const char* kUnknownTime = "1970-01-01T00:00:00Z";

}  // namespace vela
