#pragma once

#include <string>
#include <string_view>

#include "route_call.h"

// The routes of the site: which function answers which path, for which
// methods, and what the site does around it. Adding a route is one row in
// route_table.cpp and one function.

namespace vela {

// The methods a route takes, as a set of bits. A route that takes GET takes
// HEAD as well: the server sends the head of the GET answer.
using Methods = unsigned;
inline constexpr Methods kGetMethod = 1u << 0;
inline constexpr Methods kPostMethod = 1u << 1;

// The bit of a request's method (HEAD as GET); 0 for a method no route takes.
Methods MethodBit(std::string_view method);
// The methods as an Allow header gives them: "GET, HEAD".
std::string AllowHeader(Methods methods);
// The 405 answer to a method outside `methods`.
WebResponse MethodNotAllowed(Methods methods);

// What the site does around a route.
enum class RouteUse {
    // The same for everyone and nothing of the database: answered without a
    // token, at once on the server's own thread, and not kept.
    kStatic,
    // Made from the database: the token is asked for, the answer is made on a
    // worker and kept while the database and the board stay as they are.
    kData,
    // As kData, and it says how long ago things happened: kept only within one
    // step of the clock as well.
    kPage,
    // A page that carries forms: as kData, but it needs the browser's session
    // (one is opened when the request brings none), whose CSRF token its forms
    // carry, so it is made anew every time and never kept.
    kForm,
    // A POST that changes something: the token as for kData, then the session,
    // the form's CSRF token and the Origin (or Referer) must all be the
    // server's own, or it is refused with 403 and changes nothing. Never kept.
    kAction,
    // The sign-in form and its POST: asked for no token (it is how a browser
    // gets in); otherwise as kForm and kAction.
    kSignIn,
};

using RouteFunction = RouteAnswer (*)(const RouteCall& call);

struct Route {
    // The path, exactly; one "*" in it stands for any non-empty text.
    std::string_view path;
    Methods methods;
    RouteUse use;
    RouteFunction answer;
};

struct FoundRoute {
    // The route of the path and the method; none when the path has routes but
    // none of them takes this method.
    const Route* route = nullptr;
    std::string_view part;  // what the route's "*" stood for
    // The methods of every route of the path, for the Allow header of a refusal.
    Methods allowed = 0;
};

// The route for `path` and `method`. A path no route has goes to the answer
// "not found", which takes GET alone and asks for the token like any answer
// of the database.
FoundRoute FindRoute(std::string_view path, std::string_view method);

}  // namespace vela
