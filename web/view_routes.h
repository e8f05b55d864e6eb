#pragma once

#include "route_call.h"

// The routes of the web view, each making one answer: the style sheet, the two
// pages, the three feeds, the JSON list of articles, and "not found".

namespace vela {

RouteAnswer StyleSheetRoute(const RouteCall& call);
// "/": the articles, by scheme, favourites, a title search, fifty at a time.
RouteAnswer ArticlesPageRoute(const RouteCall& call);
// "/schemes": every scheme and what this process's cycles found.
RouteAnswer SchemesPageRoute(const RouteCall& call);
RouteAnswer ArticlesFeedRoute(const RouteCall& call);
RouteAnswer FavouritesFeedRoute(const RouteCall& call);
// "/schemes/<id>/feed.atom".
RouteAnswer SchemeFeedRoute(const RouteCall& call);
// "/api/articles": JSON, after an id or the newest.
RouteAnswer ArticlesApiRoute(const RouteCall& call);
// Every path without a route.
RouteAnswer NotFoundRoute(const RouteCall& call);

}  // namespace vela
