#include "web_site.h"

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
#include "html_pages.h"
#include "web_text.h"

namespace vela {
namespace {

constexpr int kPageSize = 50;
constexpr int kFeedSize = 50;
constexpr int kApiDefaultLimit = 50;
constexpr int kApiMaxLimit = 500;
constexpr std::size_t kSearchMaxBytes = 200;

using Params = std::vector<std::pair<std::string, std::string>>;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Params ParseQuery(std::string_view query) {
    Params params;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        params.emplace_back(PercentDecode(pair.substr(0, eq)),
                            eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1)));
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

}  // namespace

WebSite::WebSite(ReadConnections& reader, const CheckBoard& board, SiteSettings settings)
    : reader_(reader), board_(board), settings_(std::move(settings)) {}

WebResponse WebSite::Answer(const WebRequest& request) const {
    WebResponse response;
    std::optional<std::time_t> lastModified;
    const bool conditional = request.method == "GET" || request.method == "HEAD";
    [&] {
        if (!conditional) {
            response = Plain(405, "only GET and HEAD");
            response.Set("Allow", "GET, HEAD");
            return;
        }
        const std::string_view target = request.target;
        const std::size_t mark = target.find('?');
        const std::string_view path = target.substr(0, mark);
        const Params params = ParseQuery(mark == std::string_view::npos ? std::string_view()
                                                                        : target.substr(mark + 1));

        if (path == "/style.css") {
            // The same for everyone, and nothing of the database: no token needed.
            response.contentType = "text/css; charset=utf-8";
            response.body = std::string(StyleSheet());
            response.Set("Cache-Control", "max-age=3600");
            return;
        }
        PageLinks links;
        if (!settings_.token.empty()) {
            const std::string_view bearer = "Bearer ";
            const std::string& auth = request.authorization;
            const auto queryToken = Param(params, "token");
            const bool byHeader =
                auth.size() > bearer.size() && auth.compare(0, bearer.size(), bearer) == 0 &&
                TokensMatch(std::string_view(auth).substr(bearer.size()), settings_.token);
            const bool byQuery = queryToken && TokensMatch(*queryToken, settings_.token);
            if (!byHeader && !byQuery) {
                response = Plain(401, "a token is needed (Authorization: Bearer, or ?token=)");
                response.Set("WWW-Authenticate", "Bearer realm=\"vela\"");
                return;
            }
            // A browser came with the token in the address: its links carry it on.
            if (byQuery) links.token = *queryToken;
        }

        const auto route = [&] {
            const auto readArticles = [&](const ArticleFilter& filter, std::vector<Article>& out) {
                TextTable rows;
                if (!reader_.Query(ArticleQuery(filter), rows)) return false;
                out = ArticlesFromRows(rows);
                return true;
            };
            const auto readSchemes = [&](std::vector<SchemeSummary>& out) {
                TextTable rows;
                if (!reader_.Query(kSchemeSummaryQuery, rows)) return false;
                out = SchemesFromRows(rows);
                return true;
            };
            const auto unavailable = [&] { response = Plain(503, "the database cannot be read"); };
            const auto feed = [&](ArticleFilter filter, std::string key, std::string title) {
                filter.limit = kFeedSize;
                std::vector<Article> articles;
                if (!readArticles(filter, articles)) return unavailable();
                FeedHead head{settings_.identity, std::move(key), std::move(title), ""};
                const std::string host = SafeHost(request.host);
                if (!host.empty()) head.selfUrl = "http://" + host + request.target;
                response.contentType = "application/atom+xml; charset=utf-8";
                response.body = AtomFeed(head, articles);
                if (!articles.empty()) {
                    if (const auto t = ParseStoredTime(articles.front().time))
                        lastModified = t->when;
                }
            };

            if (path == "/") {
                ArticlesPageInput page;
                page.links = links;
                int64_t scheme = 0;
                if (!NumberParam(params, "scheme", -1, scheme) ||
                    !NumberParam(params, "before", 0, page.beforeId)) {
                    response = Plain(400, "scheme and before are numbers");
                    return;
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
                                            board_.LastCycleEnded(), links);
            } else if (path == "/feed.atom") {
                feed({}, "articles", "vela：最新文章");
            } else if (path == "/favourites.atom") {
                ArticleFilter filter;
                filter.favouritesOnly = true;
                feed(filter, "favourites", "vela：我的收藏");
            } else if (path.substr(0, 9) == "/schemes/" && path.size() > 19 &&
                       path.substr(path.size() - 10) == "/feed.atom") {
                int64_t id = 0;
                const std::string idText(path.substr(9, path.size() - 19));
                std::vector<SchemeSummary> schemes;
                if (!ParseId(idText, id)) {
                    response = Plain(404, "not found");
                    return;
                }
                if (!readSchemes(schemes)) return unavailable();
                const std::string canonical = std::to_string(id);
                const SchemeSummary* found = nullptr;
                for (const auto& s : schemes) {
                    if (s.id == canonical) found = &s;
                }
                if (!found) {
                    response = Plain(404, "no such scheme");
                    return;
                }
                ArticleFilter filter;
                filter.schemeIds = {id};
                feed(filter, "schemes/" + canonical, "vela：" + StoredUtf8(found->name));
            } else if (path == "/api/articles") {
                int64_t scheme = 0, since = 0, limit = 0;
                if (!NumberParam(params, "scheme", -1, scheme) ||
                    !NumberParam(params, "since", -1, since) ||
                    !NumberParam(params, "limit", kApiDefaultLimit, limit) || limit < 1) {
                    response = Plain(400, "scheme, since and limit are numbers, limit at least 1");
                    return;
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
        };
        // An answer depends on the database, on the board (the pages show the
        // cycles) and on the request's address and Host (the feeds' self link).
        // When none changed, the answer made last time is given again.
        const std::string key = request.host + '\n' + request.target;
        const uint64_t generation = reader_.Generation();
        const uint64_t boardVersion = board_.Version();
        if (generation != 0 && cache_.Find(key, generation, boardVersion, response, lastModified)) {
            return;
        }
        route();
        if (generation != 0 && response.status == 200) {
            cache_.Store(key, generation, boardVersion, response, lastModified);
        }
    }();

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
    if (lastModified) response.Set("Last-Modified", HttpDate(*lastModified));
    bool unchanged = false;
    if (!request.ifNoneMatch.empty()) {
        unchanged = EtagListed(request.ifNoneMatch, etag);
    } else if (lastModified && !request.ifModifiedSince.empty()) {
        const auto since = ParseHttpDate(request.ifModifiedSince);
        unchanged = since && *since >= *lastModified;
    }
    if (unchanged) {
        response.status = 304;
        response.body.clear();
        response.contentType.clear();
    }
    return response;
}

}  // namespace vela
