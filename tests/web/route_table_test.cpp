// Which route answers which path and method, and the refusals the site gives
// before a route is asked: the Host, the method, the token.

#include "web/route_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "web/action_routes.h"
#include "web/view_routes.h"
#include "web/web_site.h"

namespace vela {
namespace {

TEST(RouteTable, PathsAndMethodsFindTheirRoutes) {
    const struct {
        std::string path, method;
        RouteFunction answer;  // nullptr: refused for the method
        std::string part;
    } cases[] = {
        {"/", "GET", ArticlesPageRoute, ""},
        {"/", "HEAD", ArticlesPageRoute, ""},
        {"/", "POST", nullptr, ""},
        {"/", "get", nullptr, ""},
        {"/", "", nullptr, ""},
        {"/style.css", "GET", StyleSheetRoute, ""},
        {"/schemes", "GET", SchemesPageRoute, ""},
        {"/schemes/3/feed.atom", "GET", SchemeFeedRoute, "3"},
        // The part is any non-empty text; the route tells a number from the rest.
        {"/schemes/a/b/feed.atom", "GET", SchemeFeedRoute, "a/b"},
        {"/schemes//feed.atom", "GET", NotFoundRoute, ""},
        {"/schemes/feed.atom", "GET", NotFoundRoute, ""},
        {"/schemes/3/feed.atom/", "GET", NotFoundRoute, ""},
        {"/api/articles", "HEAD", ArticlesApiRoute, ""},
        {"/api/articles/", "GET", NotFoundRoute, ""},
        // A path without a route takes GET alone, as every route does.
        {"/nothing", "GET", NotFoundRoute, ""},
        {"/nothing", "DELETE", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        const FoundRoute found = FindRoute(c.path, c.method);
        EXPECT_EQ(found.route ? found.route->answer : nullptr, c.answer);
        EXPECT_EQ(found.part, c.part);
        EXPECT_EQ(found.allowed, kGetMethod);
    }
}

// What changes things is a POST only; its question page is a GET of the same path.
TEST(RouteTable, ChangesArePostsBesideTheirPages) {
    const struct {
        std::string path, method;
        RouteFunction answer;  // nullptr: refused for the method
        Methods allowed;
    } cases[] = {
        {"/schemes/3/tick", "POST", SchemeTickRoute, kPostMethod},
        {"/schemes/3/tick", "GET", nullptr, kPostMethod},
        {"/schemes/3/check", "HEAD", nullptr, kPostMethod},
        {"/schemes/3/remove", "GET", RemoveSchemePageRoute, kGetMethod | kPostMethod},
        {"/schemes/3/remove", "POST", RemoveSchemeRoute, kGetMethod | kPostMethod},
        {"/channels", "POST", nullptr, kGetMethod},
        {"/channels/add", "GET", nullptr, kPostMethod},
        {"/channels/2/test", "POST", TestChannelRoute, kPostMethod},
        {"/signin", "POST", SignInRoute, kGetMethod | kPostMethod},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        const FoundRoute found = FindRoute(c.path, c.method);
        EXPECT_EQ(found.route ? found.route->answer : nullptr, c.answer);
        EXPECT_EQ(found.allowed, c.allowed);
        if (found.route && c.method == "POST") {
            EXPECT_TRUE(found.route->use == RouteUse::kAction ||
                        found.route->use == RouteUse::kSignIn);
        }
    }
}

TEST(RouteTable, AMethodRefusedNamesTheMethodsTaken) {
    const struct {
        Methods methods;
        std::string body, allow;
    } cases[] = {
        {kGetMethod, "only GET and HEAD\n", "GET, HEAD"},
        {kPostMethod, "only POST\n", "POST"},
        {kGetMethod | kPostMethod, "only GET, HEAD and POST\n", "GET, HEAD, POST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allow);
        const WebResponse refused = MethodNotAllowed(c.methods);
        EXPECT_EQ(refused.status, 405);
        EXPECT_EQ(refused.contentType, "text/plain; charset=utf-8");
        EXPECT_EQ(refused.body, c.body);
        ASSERT_NE(refused.Header("Allow"), nullptr);
        EXPECT_EQ(*refused.Header("Allow"), c.allow);
    }
}

// The refusals need nothing of the database: they are made at once, in the
// order the site checks (Host, then method, then token), each with the headers
// every answer carries.
TEST(RouteTable, RefusalsComeAtOnceInTheirOrder) {
    ReadConnections reader("/nonexistent/vela.sdb");
    CheckBoard board;
    const struct {
        std::string token, method, target, host, authorization;
        int status;  // 0: not answered at once
    } cases[] = {
        {"", "POST", "/", "evil.example", "", 421},
        {"", "POST", "/", "localhost", "", 405},
        {"", "PUT", "/nothing", "localhost", "", 405},
        {"", "GET", "/style.css", "localhost", "", 200},
        {"", "GET", "/", "localhost", "", 0},
        {"s3cret", "POST", "/feed.atom", "evil.example", "", 405},
        {"s3cret", "GET", "/feed.atom", "evil.example", "", 401},
        {"s3cret", "GET", "/nothing", "localhost", "", 401},
        {"s3cret", "GET", "/style.css", "evil.example", "", 200},
        {"s3cret", "GET", "/feed.atom", "evil.example", "Bearer s3cret", 0},
        {"s3cret", "GET", "/nothing?token=s3cret", "localhost", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token + " " + c.method + " " + c.target + " " + c.host);
        const WebSite site(reader, board, {c.token, "identity", "127.0.0.1", {}});
        const std::optional<WebResponse> answer =
            site.AnswerAtOnce({c.method, c.target, c.host, c.authorization, "", ""});
        ASSERT_EQ(answer.has_value(), c.status != 0);
        if (!answer) continue;
        EXPECT_EQ(answer->status, c.status);
        ASSERT_NE(answer->Header("Content-Security-Policy"), nullptr);
        EXPECT_EQ(*answer->Header("Content-Security-Policy"), kContentSecurityPolicy);
        if (c.status == 405) {
            EXPECT_EQ(answer->body, "only GET and HEAD\n");
            ASSERT_NE(answer->Header("Allow"), nullptr);
            EXPECT_EQ(*answer->Header("Allow"), "GET, HEAD");
        }
    }
}

}  // namespace
}  // namespace vela
