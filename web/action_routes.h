#pragma once

#include "route_call.h"

// The routes that change things and the pages with their forms: signing in,
// ticking, removing and checking a scheme now, and the channels of notify.conf.
// Every change is a POST that the site has already checked (the token or the
// signed-in session, the CSRF token, the Origin); it answers with a redirect to
// the page that shows what it did.

namespace vela {

// "/signin": the form, and its POST that turns the token into a signed-in session.
RouteAnswer SignInPageRoute(const RouteCall& call);
RouteAnswer SignInRoute(const RouteCall& call);

// "/schemes/<id>/tick": the form's "ticked" (1 or 0) as the scheme's tick.
RouteAnswer SchemeTickRoute(const RouteCall& call);
// "/schemes/<id>/remove": the question (GET), and the removal (POST).
RouteAnswer RemoveSchemePageRoute(const RouteCall& call);
RouteAnswer RemoveSchemeRoute(const RouteCall& call);
// "/schemes/<id>/check": one monitoring run of the scheme now, under the run
// lock, recorded as the runner records.
RouteAnswer CheckSchemeRoute(const RouteCall& call);

// "/channels": the channels, masked, with their buttons and the form to add one.
RouteAnswer ChannelsPageRoute(const RouteCall& call);
RouteAnswer AddChannelRoute(const RouteCall& call);
// "/channels/<n>/remove" (the n-th channel, from 1): the question, and the removal.
RouteAnswer RemoveChannelPageRoute(const RouteCall& call);
RouteAnswer RemoveChannelRoute(const RouteCall& call);
// "/channels/<n>/test": the test message to that channel.
RouteAnswer TestChannelRoute(const RouteCall& call);

// A 303 answer to `path` (the token carried on), `notice` kept for the page
// there to show.
RouteAnswer SeeOther(const RouteCall& call, const std::string& path, Notice notice);

}  // namespace vela
