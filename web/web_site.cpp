#include "web_site.h"

#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "access_rules.h"
#include "action_routes.h"
#include "feed_time.h"
#include "fetch/percent_codec.h"
#include "form_pages.h"
#include "web_text.h"

namespace vela {
namespace {

// Pages say how long ago things happened: a page kept for reuse is made anew
// after this many seconds.
constexpr std::time_t kPageClockStep = 10;

using Params = QueryParams;

// Headers every answer carries.
void AddSecurityHeaders(WebResponse& response) {
    response.Set("Content-Security-Policy", kContentSecurityPolicy);
    response.Set("X-Content-Type-Options", "nosniff");
    // Our own address goes to our own pages only: a form's POST then carries its
    // true Origin (under no-referrer a browser sends "Origin: null"), and a link
    // out tells the other site nothing.
    response.Set("Referrer-Policy", "same-origin");
    response.Set("X-Frame-Options", "DENY");
}

// Whether `ifNoneMatch` (a list of entity tags, or *) names `etag`.
bool EtagListed(std::string_view ifNoneMatch, std::string_view etag) {
    while (!ifNoneMatch.empty()) {
        const std::size_t comma = ifNoneMatch.find(',');
        std::string_view item = ifNoneMatch.substr(0, comma);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (item.substr(0, 2) == "W/") item.remove_prefix(2);
        if (item == "*" || item == etag) return true;
        if (comma == std::string_view::npos) break;
        ifNoneMatch.remove_prefix(comma + 1);
    }
    return false;
}

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A request in absolute form ("GET http://host/feed.atom", which a server must
// take) is answered as its path, and the host it names stands for the Host header.
WebRequest OriginForm(const WebRequest& sent) {
    const std::string_view target = sent.target;
    const std::size_t schemeEnd = target.find("://");
    if (target.empty() || target.front() == '/' || schemeEnd == std::string_view::npos) {
        return sent;
    }
    std::string scheme(target.substr(0, schemeEnd));
    for (char& c : scheme) c = Folded(c);
    if (scheme != "http" && scheme != "https") return sent;
    const std::string_view rest = target.substr(schemeEnd + 3);
    const std::size_t pathStart = rest.find_first_of("/?");
    WebRequest out = sent;
    out.host = std::string(rest.substr(0, pathStart));
    if (pathStart == std::string_view::npos) {
        out.target = "/";
    } else if (rest[pathStart] == '?') {
        out.target = "/" + std::string(rest.substr(pathStart));
    } else {
        out.target = std::string(rest.substr(pathStart));
    }
    return out;
}

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

Params ParamsOf(std::string_view target) {
    const std::size_t mark = target.find('?');
    return ParseQuery(mark == std::string_view::npos ? std::string_view()
                                                     : target.substr(mark + 1));
}

// A form's fields: the body of a POST sent as application/x-www-form-urlencoded.
Params FormOf(const WebRequest& request) {
    if (MethodBit(request.method) != kPostMethod) return {};
    std::string type = request.contentType.substr(0, request.contentType.find(';'));
    for (char& c : type) c = Folded(c);
    while (!type.empty() && type.back() == ' ') type.pop_back();
    if (type != "application/x-www-form-urlencoded") return {};
    return ParseQuery(request.body);
}

// Whether a POST comes from a page of this server: an Origin that names it, or,
// when the browser sent none, a Referer on it (a browser sends at least one of
// them with a form's POST; a program that sends neither still needs the CSRF
// token, which only the session's own pages hold).
bool FromOwnPage(const WebRequest& request) {
    if (!request.origin.empty()) return OriginIsHost(request.origin, request.host);
    if (!request.referer.empty()) return RefererIsHost(request.referer, request.host);
    return true;
}

WebResponse Forbidden() {
    return Plain(403,
                 "refused: this form did not come from this server's own page, or it is too "
                 "old (reload the page and try again); nothing was changed");
}

bool Uses(RouteUse use, std::initializer_list<RouteUse> among) {
    for (const RouteUse u : among) {
        if (u == use) return true;
    }
    return false;
}

}  // namespace

WebSite::WebSite(ReadConnections& reader, const CheckBoard& board, SiteSettings settings)
    : reader_(reader), board_(board), settings_(std::move(settings)) {
    if (settings_.writer) writer_ = std::make_unique<WriteConnection>(*settings_.writer);
    tools_.sessions = &sessions_;
    tools_.writer = writer_.get();
    tools_.token = settings_.token;
    tools_.channelFile = settings_.channelFile;
    tools_.stopped = settings_.stopped ? settings_.stopped : [] { return false; };
    tools_.timings = settings_.timings;
}

std::time_t WebSite::Now() const {
    return settings_.clock ? settings_.clock() : std::time(nullptr);
}

std::time_t WebSite::SeenSince(uint64_t generation) const {
    // Generations only grow; an answer made under an older one that arrives late
    // takes the newer time, which can only cost a client a full answer.
    std::lock_guard lock(seenMutex_);
    if (generation > seenGeneration_) {
        seenGeneration_ = generation;
        seenSince_ = Now();
    }
    return seenSince_;
}

WebResponse WebSite::Answer(const WebRequest& sent) const {
    const WebRequest request = OriginForm(sent);
    return Finish(request, *Respond(request, true));
}

std::optional<WebResponse> WebSite::AnswerAtOnce(const WebRequest& sent) const {
    const WebRequest request = OriginForm(sent);
    auto answer = Respond(request, false);
    if (!answer) return std::nullopt;
    return Finish(request, std::move(*answer));
}

// The wrappers around a route, outermost first: the Host, the route's methods,
// the token (not for a static route or the sign-in; a signed-in session stands
// for it), for a page with forms or an action the session (for a POST its CSRF
// token and the Origin), then the answer cache for what reads the database;
// Finish then adds the headers every answer carries and answers a conditional
// request.
std::optional<RouteAnswer> WebSite::Respond(const WebRequest& request, bool mayWait) const {
    // Without a token the machine's own names are the only guard: a page of
    // another site whose name now resolves to 127.0.0.1 still sends that name.
    if (settings_.token.empty() && !HostAllowed(request.host, settings_.listenHost)) {
        return Plain(421, "this server answers to localhost and its own address only");
    }
    const std::string_view path = PathOf(request.target);
    const FoundRoute found = FindRoute(path, request.method);
    if (!found.route) return MethodNotAllowed(found.allowed);
    const Route& route = *found.route;
    const Params params = ParamsOf(request.target);
    PageLinks links;
    const bool post = MethodBit(request.method) == kPostMethod;
    const bool sessionRoute =
        Uses(route.use, {RouteUse::kForm, RouteUse::kAction, RouteUse::kSignIn});
    // The browser's session, when it brings one: it stands for the token once
    // signed in, and it holds the CSRF token of the forms.
    std::optional<SessionView> session;
    if (route.use != RouteUse::kStatic && (sessionRoute || !settings_.token.empty())) {
        const std::string_view id = CookieValue(request.cookie, kSessionCookie);
        if (!id.empty()) session = sessions_.Find(id, Now());
    }
    if (route.use != RouteUse::kStatic) {
        if (route.use != RouteUse::kSignIn) {
            if (auto refused =
                    TokenRefusal(request, route, params, session && session->signedIn, links)) {
                return std::move(*refused);
            }
        }
        if (!mayWait) return std::nullopt;
    }
    const Params form = FormOf(request);
    CallSession callSession;
    bool opened = false;
    if (sessionRoute) {
        if (post) {
            // Nothing is changed for a POST that another site's page could have
            // sent: it must come from this server's page, in this session.
            const auto csrf = QueryParam(form, "csrf");
            if (!FromOwnPage(request) || !session || !csrf || !TokensMatch(*csrf, session->csrf)) {
                return Forbidden();
            }
        } else if (!session) {
            session = sessions_.Open(Now());
            if (!session) return Plain(503, "no session can be opened now: try again later");
            opened = true;
        }
        callSession.id = session->id;
        callSession.csrf = session->csrf;
        callSession.signedIn = session->signedIn;
        callSession.secure = CameOverHttps(request.forwardedProto);
        if (!post) callSession.notice = sessions_.TakeNotice(session->id);
    }
    RouteCall call{request, path,   found.part,         params, links, Now(),
                   reader_, board_, settings_.identity, {},     form,  callSession,
                   tools_};
    if (route.use == RouteUse::kStatic) return route.answer(call);
    if (!sessionRoute) return Kept(route, call);
    // Pages with forms hold the session's token, and actions change things:
    // neither is kept, here or by anyone between.
    RouteAnswer made = route.answer(call);
    if (opened) made.response.Set("Set-Cookie", SessionCookie(session->id, callSession.secure));
    if (made.response.Header("Cache-Control") == nullptr) {
        made.response.Set("Cache-Control", "no-store");
    }
    return made;
}

std::optional<WebResponse> WebSite::TokenRefusal(const WebRequest& request, const Route& route,
                                                 const QueryParams& params, bool signedIn,
                                                 PageLinks& links) const {
    if (settings_.token.empty() || signedIn) return std::nullopt;
    const auto queryToken = QueryParam(params, "token");
    const std::string_view bearer = BearerCredentials(request.authorization);
    const bool byHeader = !bearer.empty() && TokensMatch(bearer, settings_.token);
    const bool byQuery = queryToken && TokensMatch(*queryToken, settings_.token);
    if (!byHeader && !byQuery) {
        // A person at a browser is shown the way to the sign-in form; a feed
        // reader reads the plain line.
        WebResponse response =
            MethodBit(request.method) == kGetMethod &&
                    Uses(route.use, {RouteUse::kPage, RouteUse::kForm})
                ? SignInNeededPage()
                : Plain(401, "a token is needed (Authorization: Bearer, or ?token=)");
        response.Set("WWW-Authenticate", "Bearer realm=\"vela\"");
        return response;
    }
    // A browser came with the token in the address: its links carry it on.
    if (byQuery) links.token = *queryToken;
    return std::nullopt;
}

RouteAnswer WebSite::Kept(const Route& route, RouteCall& call) const {
    // An answer depends on the database, on the board (the pages show the
    // cycles), on the request's address and Host (the feeds' self link) and, for
    // a page, on the clock. When none changed, the answer made last time is given
    // again. An answer to a method other than GET changes things: it is always
    // made anew.
    const WebRequest& request = call.request;
    const uint64_t generation = reader_.Generation();
    const AnswerVersion version{
        generation, board_.Version(),
        route.use == RouteUse::kPage ? static_cast<uint64_t>(call.now / kPageClockStep) : 0};
    const bool keep = generation != 0 && MethodBit(request.method) == kGetMethod;
    const std::string key = request.host + '\n' + request.target;
    RouteAnswer made;
    if (keep && cache_.Find(key, version, made.response, made.lastModified)) return made;
    if (generation != 0) {
        call.databaseSeenSince = [this, generation] { return SeenSince(generation); };
    }
    made = route.answer(call);
    if (keep && made.response.status == 200) {
        cache_.Store(key, version, made.response, made.lastModified);
    }
    return made;
}

WebResponse WebSite::Finish(const WebRequest& request, RouteAnswer made) const {
    WebResponse& response = made.response;
    AddSecurityHeaders(response);
    if (response.status != 200) return response;

    // Feed readers and browsers ask again with the tag they were given; the same
    // bytes give the same tag.
    const std::string etag = "\"" + Hex64(Digest64(response.body)) + "\"";
    response.Set("ETag", etag);
    if (response.Header("Cache-Control") == nullptr) response.Set("Cache-Control", "no-cache");
    // A change within the current second would keep the same date: such a date
    // is not given out, so a client never holds one that a later change shares.
    const std::time_t now = Now();
    const bool dated = made.lastModified && *made.lastModified < now;
    if (dated) response.Set("Last-Modified", HttpDate(*made.lastModified));
    bool unchanged = false;
    if (!request.ifNoneMatch.empty()) {
        unchanged = EtagListed(request.ifNoneMatch, etag);
    } else if (dated && !request.ifModifiedSince.empty()) {
        // A date ahead of this clock was not given by it: the client gets it all.
        const auto since = ParseHttpDate(request.ifModifiedSince);
        unchanged = since && *since <= now && *since >= *made.lastModified;
    }
    if (unchanged) {
        response.status = 304;
        response.body.clear();
        response.contentType.clear();
    }
    return response;
}

}  // namespace vela
