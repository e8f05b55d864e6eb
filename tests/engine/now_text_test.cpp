#include "engine/now_text.h"

#include <gtest/gtest.h>

#include <ctime>

namespace vela {
namespace {

std::chrono::system_clock::time_point Local(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

TEST(NowText, NoLeadingZerosAndABlankBeforeSeconds) {
    EXPECT_EQ(NowText(Local(2016, 9, 9, 8, 5, 7)), "2016-9-9 8:5 7");
    EXPECT_EQ(NowText(Local(2026, 12, 31, 23, 59, 9)), "2026-12-31 23:59 9");
    EXPECT_EQ(NowText(Local(2027, 1, 1, 0, 0, 0)), "2027-1-1 0:0 0");
}

}  // namespace
}  // namespace vela
