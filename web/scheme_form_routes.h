#pragma once

#include "route_call.h"

// The scheme form and adding a page from its address. The POSTs are checked by
// the site as every action is (the session, its CSRF token, the Origin).

namespace vela {

// "/schemes/new": the address form (GET), and the proposer's candidates for the
// address (POST), each of which fills the scheme form.
RouteAnswer AddPageRoute(const RouteCall& call);
RouteAnswer ProposeRoute(const RouteCall& call);
// "/schemes/new/form" and "/schemes/<id>/edit": the form of a new scheme, and of
// a stored one with the digest of what it shows.
RouteAnswer NewSchemeFormRoute(const RouteCall& call);
RouteAnswer EditSchemeFormRoute(const RouteCall& call);
// The POST of either form: "do" is "save" (checked as a scheme file is, then the
// window's save; a stored scheme another program changed since is not
// overwritten), "test" (the rule test of the form's values, nothing stored) or
// "fill" (the form shown with the values posted: a chosen candidate).
RouteAnswer SchemeFormRoute(const RouteCall& call);

}  // namespace vela
