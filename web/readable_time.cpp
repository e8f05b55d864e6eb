#include "readable_time.h"

#include "feed_time.h"

namespace vela {

bool ReadStoredTime(std::string_view stored, std::time_t now, ReadableTime& out) {
    const auto time = ParseStoredTime(stored);
    if (!time) return false;
    // "2016-09-09T08:05:07+08:00": the wall time with its zeros, as stored.
    out.rfc3339 = time->rfc3339;
    out.full = out.rfc3339.substr(0, 10) + ' ' + out.rfc3339.substr(11, 8);
    const long long ago = static_cast<long long>(now) - static_cast<long long>(time->when);
    if (ago < -60 || ago >= 24 * 3600) {
        out.text = out.full;
    } else if (ago < 60) {
        out.text = "刚刚";
    } else if (ago < 3600) {
        out.text = std::to_string(ago / 60) + " 分钟前";
    } else {
        out.text = std::to_string(ago / 3600) + " 小时前";
    }
    return true;
}

}  // namespace vela
