#include "web_site.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "access_rules.h"
#include "answer_cache.h"
#include "atom_feed.h"
#include "feed_time.h"
#include "fetch/encoding.h"
#include "fetch/percent_codec.h"
#include "html_pages.h"
#include "web_text.h"

namespace vela {
namespace {

constexpr int kPageSize = 50;
constexpr int kFeedSize = 50;
constexpr int kApiDefaultLimit = 50;
constexpr int kApiMaxLimit = 500;
constexpr std::size_t kSearchMaxBytes = 200;
// A title search reads every row; past this it is given up and the thread freed.
constexpr std::chrono::milliseconds kSearchTimeLimit{2000};
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

// The first value of `name`, if the query has it.
std::optional<std::string> Param(const Params& params, std::string_view name) {
    for (const auto& [n, v] : params) {
        if (n == name) return v;
    }
    return std::nullopt;
}

WebResponse Plain(int status, std::string text) {
    WebResponse r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = std::move(text) + "\n";
    return r;
}

// An optional numeric parameter: absent or empty gives `fallback`; false for
// anything but a non-negative decimal.
bool NumberParam(const Params& params, std::string_view name, int64_t fallback, int64_t& value) {
    const auto text = Param(params, name);
    if (!text || text->empty()) {
        value = fallback;
        return true;
    }
    return ParseId(*text, value);
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

// A Host header fit to be part of an address we write back; empty otherwise.
std::string SafeHost(const std::string& host) {
    if (host.empty() || host.size() > 255) return {};
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' || c == '[' ||
                        c == ']';
        if (!ok) return {};
    }
    return host;
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
    PageLinks links;
    if (auto refused = Screen(request, links)) return Finish(request, {std::move(*refused), {}});
    return Finish(request, Route(request, links));
}

std::optional<WebResponse> WebSite::AnswerAtOnce(const WebRequest& sent) const {
    const WebRequest request = OriginForm(sent);
    PageLinks links;
    auto answer = Screen(request, links);
    if (!answer) return std::nullopt;
    return Finish(request, {std::move(*answer), {}});
}

// What is answered before the database is looked at: a method other than GET and
// HEAD, a Host of another site, the style sheet, a missing token.
std::optional<WebResponse> WebSite::Screen(const WebRequest& request, PageLinks& links) const {
    // Without a token the machine's own names are the only guard: a page of
    // another site whose name now resolves to 127.0.0.1 still sends that name.
    if (settings_.token.empty() && !HostAllowed(request.host, settings_.listenHost)) {
        return Plain(421, "this server answers to localhost and its own address only");
    }
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse response = Plain(405, "only GET and HEAD");
        response.Set("Allow", "GET, HEAD");
        return response;
    }
    if (PathOf(request.target) == "/style.css") {
        // The same for everyone, and nothing of the database: no token needed.
        WebResponse response;
        response.contentType = "text/css; charset=utf-8";
        response.body = std::string(StyleSheet());
        response.Set("Cache-Control", "max-age=3600");
        return response;
    }
    if (settings_.token.empty()) return std::nullopt;
    const auto queryToken = Param(ParamsOf(request.target), "token");
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

WebSite::Made WebSite::Route(const WebRequest& request, const PageLinks& links) const {
    // An answer depends on the database, on the board (the pages show the
    // cycles), on the request's address and Host (the feeds' self link) and, for
    // a page, on the clock. When none changed, the answer made last time is given
    // again.
    const std::time_t now = Now();
    const std::string_view path = PathOf(request.target);
    const bool page = path == "/" || path == "/schemes";
    const std::string key = request.host + '\n' + request.target;
    const AnswerVersion version{reader_.Generation(), board_.Version(),
                                page ? static_cast<uint64_t>(now / kPageClockStep) : 0};
    Made made;
    if (version.generation != 0 && cache_.Find(key, version, made.response, made.lastModified)) {
        return made;
    }
    made = RouteAnew(request, links, version.generation, now);
    if (version.generation != 0 && made.response.status == 200) {
        cache_.Store(key, version, made.response, made.lastModified);
    }
    return made;
}

WebSite::Made WebSite::RouteAnew(const WebRequest& request, const PageLinks& links,
                                 uint64_t generation, std::time_t now) const {
    Made made;
    WebResponse& response = made.response;
    const std::string_view path = PathOf(request.target);
    const Params params = ParamsOf(request.target);
    // The search reads every row, so it alone has a time limit.
    bool tooLong = false;
    const auto readArticles = [&](const ArticleFilter& filter, std::vector<Article>& out) {
        TextTable rows;
        const ReadOutcome read =
            reader_.Read(ArticleQuery(filter), rows,
                         filter.titleGbk.empty() ? std::chrono::milliseconds(0) : kSearchTimeLimit);
        tooLong = read == ReadOutcome::kTooLong;
        if (read != ReadOutcome::kRead) return false;
        out = ArticlesFromRows(rows);
        return true;
    };
    const auto readSchemes = [&](std::vector<SchemeSummary>& out) {
        TextTable rows;
        if (!reader_.Query(kSchemeSummaryQuery, rows)) return false;
        out = SchemesFromRows(rows);
        return true;
    };
    const auto unavailable = [&] {
        response = tooLong ? Plain(503, "the search took too long: search for more of the title")
                           : Plain(503, "the database cannot be read");
        return made;
    };
    const auto feed = [&](ArticleFilter filter, std::string key, std::string title) {
        filter.limit = kFeedSize;
        std::vector<Article> articles;
        if (!readArticles(filter, articles)) return unavailable();
        FeedHead head{settings_.identity, std::move(key), std::move(title), ""};
        const std::string host = SafeHost(request.host);
        if (!host.empty()) head.selfUrl = "http://" + host + request.target;
        response.contentType = "application/atom+xml; charset=utf-8";
        response.body = AtomFeed(head, articles);
        // The feed changes with the database: a favourite ticked or a scheme
        // renamed changes it as much as a new article does.
        if (generation != 0) made.lastModified = SeenSince(generation);
        return made;
    };

    if (path == "/") {
        ArticlesPageInput page;
        page.links = links;
        page.now = now;
        int64_t scheme = 0;
        if (!NumberParam(params, "scheme", -1, scheme) ||
            !NumberParam(params, "before", 0, page.beforeId)) {
            response = Plain(400, "scheme and before are numbers");
            return made;
        }
        page.schemeId = scheme;
        page.favourites = Param(params, "view") == "favourites";
        page.search = Param(params, "q").value_or("");
        if (page.search.size() > kSearchMaxBytes) page.search.resize(kSearchMaxBytes);
        // The conversion to GBK ends at a zero byte: search for the rest.
        std::erase(page.search, '\0');
        ArticleFilter filter;
        if (scheme >= 0) filter.schemeIds = {scheme};
        filter.favouritesOnly = page.favourites;
        filter.titleGbk = Utf8ToGbk(page.search);
        filter.beforeId = page.beforeId;
        filter.limit = kPageSize;
        if (!readSchemes(page.schemes) || !readArticles(filter, page.articles)) {
            return unavailable();
        }
        if (static_cast<int>(page.articles.size()) == kPageSize) {
            page.olderFrom = page.articles.back().id;
        }
        page.cycles = board_.Running();
        page.lastCycle = board_.LastCycleEnded();
        response.contentType = "text/html; charset=utf-8";
        response.body = ArticlesPage(page);
    } else if (path == "/schemes") {
        std::vector<SchemeSummary> schemes;
        if (!readSchemes(schemes)) return unavailable();
        response.contentType = "text/html; charset=utf-8";
        response.body = SchemesPage(schemes, board_.Checks(), board_.Running(),
                                    board_.LastCycleEnded(), links, now);
    } else if (path == "/feed.atom") {
        return feed({}, "articles", "vela：最新文章");
    } else if (path == "/favourites.atom") {
        ArticleFilter filter;
        filter.favouritesOnly = true;
        return feed(filter, "favourites", "vela：我的收藏");
    } else if (path.substr(0, 9) == "/schemes/" && path.size() > 19 &&
               path.substr(path.size() - 10) == "/feed.atom") {
        int64_t id = 0;
        const std::string idText(path.substr(9, path.size() - 19));
        std::vector<SchemeSummary> schemes;
        if (!ParseId(idText, id)) {
            response = Plain(404, "not found");
            return made;
        }
        if (!readSchemes(schemes)) return unavailable();
        const std::string canonical = std::to_string(id);
        const SchemeSummary* found = nullptr;
        for (const auto& s : schemes) {
            if (s.id == canonical) found = &s;
        }
        if (!found) {
            response = Plain(404, "no such scheme");
            return made;
        }
        ArticleFilter filter;
        filter.schemeIds = {id};
        return feed(filter, "schemes/" + canonical, "vela：" + StoredUtf8(found->name));
    } else if (path == "/api/articles") {
        int64_t scheme = 0, since = 0, limit = 0;
        if (!NumberParam(params, "scheme", -1, scheme) ||
            !NumberParam(params, "since", -1, since) ||
            !NumberParam(params, "limit", kApiDefaultLimit, limit) || limit < 1) {
            response = Plain(400, "scheme, since and limit are numbers, limit at least 1");
            return made;
        }
        ArticleFilter filter;
        if (scheme >= 0) filter.schemeIds = {scheme};
        filter.sinceId = since;
        filter.limit = static_cast<int>(std::min<int64_t>(limit, kApiMaxLimit));
        std::vector<Article> articles;
        if (!readArticles(filter, articles)) return unavailable();
        nlohmann::json list = nlohmann::json::array();
        for (const Article& a : articles) {
            const auto time = ParseStoredTime(a.time);
            list.push_back({{"id", a.id},
                            {"scheme_id", StoredUtf8(a.schemeId)},
                            {"scheme", StoredUtf8(a.scheme)},
                            {"title", StoredUtf8(a.title)},
                            {"link", StoredUtf8(a.url)},
                            {"other", StoredUtf8(a.other)},
                            {"time", StoredUtf8(a.time)},
                            {"updated", time ? nlohmann::json(time->rfc3339) : nullptr},
                            {"favourite", a.favourite}});
        }
        response.contentType = "application/json";
        response.body = nlohmann::json{{"articles", std::move(list)}}.dump(
                            -1, ' ', false, nlohmann::json::error_handler_t::replace) +
                        "\n";
    } else {
        response = Plain(404, "not found");
    }
    return made;
}

WebResponse WebSite::Finish(const WebRequest& request, Made made) const {
    WebResponse& response = made.response;
    response.Set("Content-Security-Policy", kContentSecurityPolicy);
    response.Set("X-Content-Type-Options", "nosniff");
    response.Set("Referrer-Policy", "no-referrer");
    response.Set("X-Frame-Options", "DENY");
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
