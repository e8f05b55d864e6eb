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

}  // namespace
}  // namespace vela
