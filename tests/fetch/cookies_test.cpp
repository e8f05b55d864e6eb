#include "fetch/cookies.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(CookieName, IsTheTrimmedPartBeforeTheFirstEquals) {
    EXPECT_EQ(CookieName("sid=a=b"), "sid");
    EXPECT_EQ(CookieName(" sid \xA1\xA1=1"), "sid");
    EXPECT_EQ(CookieName("flag"), "flag");
    EXPECT_EQ(CookieName("=v"), "");
}

TEST(DedupeItems, KeepsFirstOccurrences) {
    EXPECT_EQ(DedupeItems("a=1; b=2; a=1; a=2", "; "), "a=1; b=2; a=2");
    EXPECT_EQ(DedupeItems("", "; "), "");
    EXPECT_EQ(DedupeItems("x", ""), "x");
}

TEST(CollectResponseCookies, Cases) {
    const std::pair<std::string, std::string> cases[] = {
        {"HTTP/1.1 200 OK\r\n"
         "Set-Cookie: sid=1; path=/; HttpOnly\r\n"
         "Content-Type: text/html\r\n"
         "Set-Cookie:  theme=dark \r\n"
         "\r\n",
         "sid=1; theme=dark"},
        // Contains "Set-Cookie" but not "Set-Cookie:": an empty item.
        {"X-Set-Cookie-Hint: a; b\r\nSet-Cookie: c=3\r\n", "; c=3"},
        {"Set-Cookie: a=1\r\nSet-Cookie: a=1\r\n", "a=1; a=1"},
        {std::string(5000, ' '), ""},
        {"", ""},
    };
    for (const auto& [headers, cookies] : cases) {
        SCOPED_TRACE(headers);
        EXPECT_EQ(CollectResponseCookies(headers), cookies);
    }
}

TEST(MergeCookies, Cases) {
    struct Case {
        const char* name;
        std::string sent, received, merged, receivedAfter;
    };
    const Case cases[] = {
        {"nothing at all", "", "", "", ""},
        {"response replaces and comes first", "a=1; b=2", "b=3", "b=3; a=1", "b=3"},
        {"deleted name disappears", "a=1; b=2", "a=deleted", "b=2", "a=deleted"},
        {"spaces go everywhere", "a = 1 ;b=x\xA1\xA1y", "c= 3", "c=3; a=1; b=xy", "c=3"},
        {"same item twice is listed once", "", "c=1; c=1", "c=1", "c=1;c=1"},
        {"two items of one name both stay", "", "c=1; c=2", "c=1; c=2", "c=1;c=2"},
        {"only the first sent item of a name", "a=1; a=2", "", "a=1", ""},
        {"no response cookies", "b=2;  a=1; b=2", "", "b=2; a=1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string sent = c.sent;
        std::string received = c.received;
        EXPECT_EQ(MergeCookies(sent, received), c.merged);
        EXPECT_EQ(sent, c.merged);
        EXPECT_EQ(received, c.receivedAfter);
    }
}

}  // namespace
}  // namespace vela
