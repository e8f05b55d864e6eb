#include "route_table.h"

#include <iterator>

#include "action_routes.h"
#include "scheme_form_routes.h"
#include "view_routes.h"

namespace vela {
namespace {

constexpr Route kRoutes[] = {
    {"/style.css", kGetMethod, RouteUse::kStatic, StyleSheetRoute},
    {"/", kGetMethod, RouteUse::kPage, ArticlesPageRoute},
    {"/schemes", kGetMethod, RouteUse::kForm, SchemesPageRoute},
    {"/schemes/new", kGetMethod, RouteUse::kForm, AddPageRoute},
    {"/schemes/new", kPostMethod, RouteUse::kAction, ProposeRoute},
    {"/schemes/new/form", kGetMethod, RouteUse::kForm, NewSchemeFormRoute},
    {"/schemes/new/form", kPostMethod, RouteUse::kAction, SchemeFormRoute},
    {"/schemes/*/edit", kGetMethod, RouteUse::kForm, EditSchemeFormRoute},
    {"/schemes/*/edit", kPostMethod, RouteUse::kAction, SchemeFormRoute},
    {"/schemes/*/tick", kPostMethod, RouteUse::kAction, SchemeTickRoute},
    {"/schemes/*/remove", kGetMethod, RouteUse::kForm, RemoveSchemePageRoute},
    {"/schemes/*/remove", kPostMethod, RouteUse::kAction, RemoveSchemeRoute},
    {"/schemes/*/check", kPostMethod, RouteUse::kAction, CheckSchemeRoute},
    {"/channels", kGetMethod, RouteUse::kForm, ChannelsPageRoute},
    {"/channels/add", kPostMethod, RouteUse::kAction, AddChannelRoute},
    {"/channels/*/remove", kGetMethod, RouteUse::kForm, RemoveChannelPageRoute},
    {"/channels/*/remove", kPostMethod, RouteUse::kAction, RemoveChannelRoute},
    {"/channels/*/test", kPostMethod, RouteUse::kAction, TestChannelRoute},
    {"/signin", kGetMethod, RouteUse::kSignIn, SignInPageRoute},
    {"/signin", kPostMethod, RouteUse::kSignIn, SignInRoute},
    {"/feed.atom", kGetMethod, RouteUse::kData, ArticlesFeedRoute},
    {"/favourites.atom", kGetMethod, RouteUse::kData, FavouritesFeedRoute},
    {"/schemes/*/feed.atom", kGetMethod, RouteUse::kData, SchemeFeedRoute},
    {"/api/articles", kGetMethod, RouteUse::kData, ArticlesApiRoute},
};

constexpr Route kNotFound{"", kGetMethod, RouteUse::kData, NotFoundRoute};

// Whether `path` is `pattern`, its "*" standing for a non-empty `part`.
bool Matches(std::string_view pattern, std::string_view path, std::string_view& part) {
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return path == pattern;
    const std::string_view head = pattern.substr(0, star);
    const std::string_view tail = pattern.substr(star + 1);
    if (path.size() <= head.size() + tail.size() || path.substr(0, head.size()) != head ||
        path.substr(path.size() - tail.size()) != tail) {
        return false;
    }
    part = path.substr(head.size(), path.size() - head.size() - tail.size());
    return true;
}

}  // namespace

Methods MethodBit(std::string_view method) {
    if (method == "GET" || method == "HEAD") return kGetMethod;
    if (method == "POST") return kPostMethod;
    return 0;
}

std::string AllowHeader(Methods methods) {
    std::string allow;
    const auto add = [&](Methods bit, const char* names) {
        if ((methods & bit) == 0) return;
        if (!allow.empty()) allow += ", ";
        allow += names;
    };
    add(kGetMethod, "GET, HEAD");
    add(kPostMethod, "POST");
    return allow;
}

WebResponse MethodNotAllowed(Methods methods) {
    // "GET, HEAD, POST" reads "only GET, HEAD and POST".
    std::string names = AllowHeader(methods);
    const std::size_t last = names.rfind(", ");
    if (last != std::string::npos) names.replace(last, 2, " and ");
    WebResponse response = Plain(405, "only " + names);
    response.Set("Allow", AllowHeader(methods));
    return response;
}

FoundRoute FindRoute(std::string_view path, std::string_view method) {
    const Methods bit = MethodBit(method);
    FoundRoute found;
    for (const Route& route : kRoutes) {
        std::string_view part;
        if (!Matches(route.path, path, part)) continue;
        found.allowed |= route.methods;
        if (!found.route && (route.methods & bit) != 0) {
            found.route = &route;
            found.part = part;
        }
    }
    if (found.allowed == 0) {
        found.allowed = kNotFound.methods;
        if ((kNotFound.methods & bit) != 0) found.route = &kNotFound;
    }
    return found;
}

}  // namespace vela
