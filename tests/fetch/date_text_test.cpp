#include "fetch/date_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace vela {
namespace {

TEST(DateText, HttpAndMailDatesOfAnInstant) {
    const struct {
        std::time_t when;
        const char* http;
        const char* mail;
    } cases[] = {
        {0, "Thu, 01 Jan 1970 00:00:00 GMT", "Thu, 01 Jan 1970 00:00:00 +0000"},
        {784111777, "Sun, 06 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 +0000"},
        {951782400, "Tue, 29 Feb 2000 00:00:00 GMT", "Tue, 29 Feb 2000 00:00:00 +0000"},
        {1765418400, "Thu, 11 Dec 2025 02:00:00 GMT", "Thu, 11 Dec 2025 02:00:00 +0000"},
        {253402300799, "Fri, 31 Dec 9999 23:59:59 GMT", "Fri, 31 Dec 9999 23:59:59 +0000"},
        // No broken-down form: the first second of 1970 rather than a broken date.
        {std::numeric_limits<std::time_t>::max(), "Thu, 01 Jan 1970 00:00:00 GMT",
         "Thu, 01 Jan 1970 00:00:00 +0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.http);
        EXPECT_EQ(HttpDate(c.when), c.http);
        EXPECT_EQ(MailDate(c.when), c.mail);
        if (c.when != std::numeric_limits<std::time_t>::max()) {
            EXPECT_EQ(ParseHttpDate(c.http), c.when);
        }
    }
}

TEST(DateText, OnlyTheFixedHttpFormIsRead) {
    for (const char* text : {
             "Sunday, 06-Nov-94 08:49:37 GMT",  // RFC 850
             "Sun Nov  6 08:49:37 1994",        // asctime
             "Sun, 06 Nov 1994 08:49:37 UTC",
             "Sun, 06 Nov 1994 08:49:37 +0000",
             "Sun, 6 Nov 1994 08:49:37 GMT",
             "Sun, 06 nov 1994 08:49:37 GMT",
             "Sun, 31 Feb 1994 08:49:37 GMT",
             "Sun, 29 Feb 1900 08:49:37 GMT",
             "Sun, 06 Nov 1969 08:49:37 GMT",
             "Sun, 06 Nov 1994 24:00:00 GMT",
             "Sun, 06 Nov 1994 08:60:00 GMT",
             "Sun, 06 Nov 1994 08:49:61 GMT",
             "Sun, 0x Nov 1994 08:49:37 GMT",
             "Sun, 06 Nov 1994 08-49-37 GMT",
             "",
         }) {
        EXPECT_FALSE(ParseHttpDate(text)) << text;
    }
    EXPECT_EQ(ParseHttpDate("Xyz, 29 Feb 2000 00:00:00 GMT"), 951782400);   // the name unread
    EXPECT_EQ(ParseHttpDate("Sat, 31 Dec 2016 23:59:60 GMT"), 1483228800);  // a leap second
}

TEST(DateText, Rfc3339WithTheOffsetOfTheTime) {
    const struct {
        int year, month, day, hour, minute, second;
        long offset;
        const char* text;
    } cases[] = {
        {2016, 9, 9, 8, 5, 7, 8 * 3600, "2016-09-09T08:05:07+08:00"},
        {1994, 11, 6, 14, 19, 37, 5 * 3600 + 1800, "1994-11-06T14:19:37+05:30"},
        {2024, 12, 31, 23, 59, 59, 0, "2024-12-31T23:59:59+00:00"},
        {1970, 1, 1, 0, 0, 0, -(9 * 3600 + 30 * 60), "1970-01-01T00:00:00-09:30"},
        {2000, 2, 29, 12, 0, 0, -3600, "2000-02-29T12:00:00-01:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::tm time{};
        time.tm_year = c.year - 1900;
        time.tm_mon = c.month - 1;
        time.tm_mday = c.day;
        time.tm_hour = c.hour;
        time.tm_min = c.minute;
        time.tm_sec = c.second;
        time.tm_gmtoff = c.offset;
        EXPECT_EQ(Rfc3339Date(time), c.text);
    }
}

}  // namespace
}  // namespace vela
