#include "fetch/url_parts.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(UrlParts, Cases) {
    struct Case {
        std::string address;
        std::string host;
        int port;
        std::string path;
    };
    const Case cases[] = {
        {"http://Example.COM/List?Page=1#Top", "example.com", 80, "/List?Page=1#Top"},
        {"HTTPS://a.com", "a.com", 443, "/"},
        {"https://a.com:8443/x", "a.com", 8443, "/x"},
        {"a.com/x/y", "a.com", 80, "/x/y"},
        {"A.com:8080", "a.com", 8080, "/"},
        {"a.com:\xA3\xB8\xA3\xB1/x", "a.com", 81, "/x"},
        {"http://a.com:abc/", "a.com", 0, "/"},
        {"http://a.com:99999999999999/", "a.com", 100000, "/"},
        {"", "", 80, "/"},
        {"http://", "", 80, "/"},
        // Only a scheme at the front counts.
        {"a.com/go?to=http://b.com/x", "a.com", 80, "/go?to=http://b.com/x"},
        // A host that also occurs inside "http://" itself.
        {"http://tp/x", "tp", 80, "/x"},
        // A host that starts with "https" is no https address.
        {"httpsfoo.com/x", "httpsfoo.com", 80, "/x"},
        {"ftp://a.com/x", "ftp", 0, "//a.com/x"},
        {"http://\xD6\xD0\xCE\xC4.com/\xD6\xD0", "\xD6\xD0\xCE\xC4.com", 80, "/\xD6\xD0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(UrlHost(c.address), c.host);
        EXPECT_EQ(UrlPort(c.address), c.port);
        EXPECT_EQ(UrlPath(c.address), c.path);
    }
}

TEST(UrlHost, KeepsThePortWhenAsked) {
    EXPECT_EQ(UrlHost("http://A.com:81/x", true), "a.com:81");
    EXPECT_EQ(UrlHost("http://A.com:81/x"), "a.com");
}

TEST(IsHostWithin, TheHostAndItsSubdomainsOnly) {
    const struct {
        const char* host;
        const char* own;
        bool within;
    } cases[] = {
        {"bbs.example", "bbs.example", true},       {"a.bbs.example", "bbs.example", true},
        {"x.a.bbs.example", "bbs.example", true},   {"evilbbs.example", "bbs.example", false},
        {"example", "bbs.example", false},          {"other.example", "bbs.example", false},
        {"bbs.example.evil", "bbs.example", false}, {"1.127.0.0.1", "127.0.0.1", false},
        {"127.0.0.1", "127.0.0.1", true},           {"x", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " in " + c.own);
        EXPECT_EQ(IsHostWithin(c.host, c.own), c.within);
    }
}

// 中文 is D6 D0 CE C4 in GBK and E4 B8 AD E6 96 87 in UTF-8.
TEST(RequestAddress, EncodesWhatIsNotAsciiAfterTheHost) {
    const struct {
        std::string address;
        std::string gbk;
        std::string utf8;
    } cases[] = {
        {"http://a.com/s?q=\xD6\xD0\xCE\xC4&p=1", "http://a.com/s?q=%D6%D0%CE%C4&p=1",
         "http://a.com/s?q=%E4%B8%AD%E6%96%87&p=1"},
        {" a.com/\xD6\xD0/%41 b#\xCE\xC4\xA1\xA1", "a.com/%D6%D0/%41 b#%CE%C4",
         "a.com/%E4%B8%AD/%41 b#%E6%96%87"},
        // A trail byte in the ASCII range belongs to its character.
        {"https://a.com/\x81\x40x", "https://a.com/%81%40x", "https://a.com/%E4%B8%82x"},
        // The host is left alone.
        {"http://\xD6\xD0.com:81/\xD6\xD0", "http://\xD6\xD0.com:81/%D6%D0",
         "http://\xD6\xD0.com:81/%E4%B8%AD"},
        {"http://a.com/plain?x=%D6%D0", "http://a.com/plain?x=%D6%D0",
         "http://a.com/plain?x=%D6%D0"},
        {"http://a.com", "http://a.com", "http://a.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(RequestAddress(c.address, false), c.gbk);
        EXPECT_EQ(RequestAddress(c.address, true), c.utf8);
    }
}

TEST(IsHttpLink, OnlyWebAddressesWithAHostAreLinks) {
    const struct {
        const char* link;
        bool isLink;
    } cases[] = {
        {"http://a/", true},     {"HTTPS://a/b?c", true},
        {"hTtP://x", true},      {"http://user:pass@a:8080/x", true},
        {"http://[::1]/", true}, {"http://a?q", true},
        {"http://", false},      {"https://", false},
        {"http:///path", false}, {"http://?q", false},
        {"http://#top", false},  {"http://user@/x", false},
        {"http://:80/x", false}, {"javascript:alert(1)", false},
        {" http://a/", false},   {"data:text/html,x", false},
        {"/local", false},       {"http:/a", false},
        {"ftp://a/", false},     {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        EXPECT_EQ(IsHttpLink(c.link), c.isLink);
    }
}

}  // namespace
}  // namespace vela
