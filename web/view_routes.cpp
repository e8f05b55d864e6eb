#include "view_routes.h"

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "article_query.h"
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
// A title search reads every row; past this it is given up and the thread freed.
constexpr std::chrono::milliseconds kSearchTimeLimit{2000};

// The articles of `filter` into `out`; the 503 answer when they cannot be read.
// The search reads every row, so it alone has a time limit.
std::optional<WebResponse> ReadArticles(const RouteCall& call, const ArticleFilter& filter,
                                        std::vector<Article>& out) {
    TextTable rows;
    const ReadOutcome read =
        call.reader.Read(ArticleQuery(filter), rows,
                         filter.titleGbk.empty() ? std::chrono::milliseconds(0) : kSearchTimeLimit);
    if (read == ReadOutcome::kTooLong) {
        return Plain(503, "the search took too long: search for more of the title");
    }
    if (read != ReadOutcome::kRead) return Plain(503, "the database cannot be read");
    out = ArticlesFromRows(rows);
    return std::nullopt;
}

std::optional<WebResponse> ReadSchemes(const RouteCall& call, std::vector<SchemeSummary>& out) {
    TextTable rows;
    if (!call.reader.Query(kSchemeSummaryQuery, rows)) {
        return Plain(503, "the database cannot be read");
    }
    out = SchemesFromRows(rows);
    return std::nullopt;
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

// The newest articles of `filter` as the Atom feed `key` named `title`.
RouteAnswer Feed(const RouteCall& call, ArticleFilter filter, std::string key, std::string title) {
    filter.limit = kFeedSize;
    std::vector<Article> articles;
    if (auto failed = ReadArticles(call, filter, articles)) return std::move(*failed);
    FeedHead head{call.identity, std::move(key), std::move(title), ""};
    const std::string host = SafeHost(call.request.host);
    if (!host.empty()) head.selfUrl = "http://" + host + call.request.target;
    RouteAnswer made;
    made.response.contentType = "application/atom+xml; charset=utf-8";
    made.response.body = AtomFeed(head, articles);
    // The feed changes with the database: a favourite ticked or a scheme
    // renamed changes it as much as a new article does.
    if (call.databaseSeenSince) made.lastModified = call.databaseSeenSince();
    return made;
}

}  // namespace

RouteAnswer StyleSheetRoute(const RouteCall&) {
    WebResponse response;
    response.contentType = "text/css; charset=utf-8";
    response.body = std::string(StyleSheet());
    response.Set("Cache-Control", "max-age=3600");
    return response;
}

RouteAnswer ArticlesPageRoute(const RouteCall& call) {
    ArticlesPageInput page;
    page.links = call.links;
    page.now = call.now;
    int64_t scheme = 0;
    if (!NumberParam(call.params, "scheme", -1, scheme) ||
        !NumberParam(call.params, "before", 0, page.beforeId)) {
        return Plain(400, "scheme and before are numbers");
    }
    page.schemeId = scheme;
    page.favourites = QueryParam(call.params, "view") == "favourites";
    page.search = QueryParam(call.params, "q").value_or("");
    if (page.search.size() > kSearchMaxBytes) page.search.resize(kSearchMaxBytes);
    // The conversion to GBK ends at a zero byte: search for the rest.
    std::erase(page.search, '\0');
    ArticleFilter filter;
    if (scheme >= 0) filter.schemeIds = {scheme};
    filter.favouritesOnly = page.favourites;
    filter.titleGbk = Utf8ToGbk(page.search);
    filter.beforeId = page.beforeId;
    filter.limit = kPageSize;
    if (auto failed = ReadSchemes(call, page.schemes)) return std::move(*failed);
    if (auto failed = ReadArticles(call, filter, page.articles)) return std::move(*failed);
    if (static_cast<int>(page.articles.size()) == kPageSize) {
        page.olderFrom = page.articles.back().id;
    }
    page.cycles = call.board.Running();
    page.lastCycle = call.board.LastCycleEnded();
    RouteAnswer made;
    made.response.contentType = "text/html; charset=utf-8";
    made.response.body = ArticlesPage(page);
    return made;
}

RouteAnswer SchemesPageRoute(const RouteCall& call) {
    std::vector<SchemeSummary> schemes;
    if (auto failed = ReadSchemes(call, schemes)) return std::move(*failed);
    RouteAnswer made;
    made.response.contentType = "text/html; charset=utf-8";
    made.response.body =
        SchemesPage(schemes, call.board.Checks(), call.board.Running(), call.board.LastCycleEnded(),
                    call.links, call.now, call.session.csrf, call.session.notice);
    return made;
}

RouteAnswer ArticlesFeedRoute(const RouteCall& call) {
    return Feed(call, {}, "articles", "vela：最新文章");
}

RouteAnswer FavouritesFeedRoute(const RouteCall& call) {
    ArticleFilter filter;
    filter.favouritesOnly = true;
    return Feed(call, filter, "favourites", "vela：我的收藏");
}

RouteAnswer SchemeFeedRoute(const RouteCall& call) {
    int64_t id = 0;
    if (!ParseId(std::string(call.part), id)) return Plain(404, "not found");
    std::vector<SchemeSummary> schemes;
    if (auto failed = ReadSchemes(call, schemes)) return std::move(*failed);
    const std::string canonical = std::to_string(id);
    const SchemeSummary* found = nullptr;
    for (const auto& s : schemes) {
        if (s.id == canonical) found = &s;
    }
    if (!found) return Plain(404, "no such scheme");
    ArticleFilter filter;
    filter.schemeIds = {id};
    return Feed(call, filter, "schemes/" + canonical, "vela：" + StoredUtf8(found->name));
}

RouteAnswer ArticlesApiRoute(const RouteCall& call) {
    int64_t scheme = 0, since = 0, limit = 0;
    if (!NumberParam(call.params, "scheme", -1, scheme) ||
        !NumberParam(call.params, "since", -1, since) ||
        !NumberParam(call.params, "limit", kApiDefaultLimit, limit) || limit < 1) {
        return Plain(400, "scheme, since and limit are numbers, limit at least 1");
    }
    ArticleFilter filter;
    if (scheme >= 0) filter.schemeIds = {scheme};
    filter.sinceId = since;
    filter.limit = static_cast<int>(std::min<int64_t>(limit, kApiMaxLimit));
    std::vector<Article> articles;
    if (auto failed = ReadArticles(call, filter, articles)) return std::move(*failed);
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
    RouteAnswer made;
    made.response.contentType = "application/json";
    made.response.body = nlohmann::json{{"articles", std::move(list)}}.dump(
                             -1, ' ', false, nlohmann::json::error_handler_t::replace) +
                         "\n";
    return made;
}

RouteAnswer NotFoundRoute(const RouteCall&) { return Plain(404, "not found"); }

}  // namespace vela
