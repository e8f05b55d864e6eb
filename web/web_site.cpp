#include "web_site.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "access_rules.h"
#include "feed_time.h"
#include "fetch/percent_codec.h"
#include "web_text.h"

namespace vela {
namespace {

// Pages say how long ago things happened: a page kept for reuse is made anew
// after this many seconds.
constexpr std::time_t kPageClockStep = 10;

using Params = std::vector<std::pair<std::string, std::string>>;

Params ParseQuery(std::string_view query) {
    Params params;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        params.emplace_back(PercentDecode(pair.substr(0, eq), PlusSign::Blank),
                            eq == std::string_view::npos
                                ? ""
                                : PercentDecode(pair.substr(eq + 1), PlusSign::Blank));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return params;
}

// Headers every answer carries.
void AddSecurityHeaders(WebResponse& response) {
    response.Set("Content-Security-Policy", kContentSecurityPolicy);
    response.Set("X-Content-Type-Options", "nosniff");
    response.Set("Referrer-Policy", "no-referrer");
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

}  // namespace

WebSite::WebSite(ReadConnections& reader, const CheckBoard& board, SiteSettings settings)
    : reader_(reader), board_(board), settings_(std::move(settings)) {}

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
// the token (not for a static route), the answer cache; Finish then adds the
// headers every answer carries and answers a conditional request.
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
    if (route.use != RouteUse::kStatic) {
        if (auto refused = TokenRefusal(request, params, links)) return std::move(*refused);
        if (!mayWait) return std::nullopt;
    }
    RouteCall call{request, path,   found.part,         params, links, Now(),
                   reader_, board_, settings_.identity, {}};
    if (route.use == RouteUse::kStatic) return route.answer(call);
    return Kept(route, call);
}

std::optional<WebResponse> WebSite::TokenRefusal(const WebRequest& request,
                                                 const QueryParams& params,
                                                 PageLinks& links) const {
    if (settings_.token.empty()) return std::nullopt;
    const auto queryToken = QueryParam(params, "token");
    const std::string_view bearer = BearerCredentials(request.authorization);
    const bool byHeader = !bearer.empty() && TokensMatch(bearer, settings_.token);
    const bool byQuery = queryToken && TokensMatch(*queryToken, settings_.token);
    if (!byHeader && !byQuery) {
        WebResponse response = Plain(401, "a token is needed (Authorization: Bearer, or ?token=)");
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
