#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check_board.h"
#include "engine/monitor_timings.h"
#include "html_pages.h"
#include "read_connections.h"
#include "session_store.h"
#include "web_exchange.h"

// What one route of the site is given and what it gives back. The site checks
// the Host, the method and the token, keeps answers and adds the headers every
// answer carries; a route only makes its answer.

namespace vela {

class WriteConnection;

// A query's names and values, decoded, in the order sent; a form's fields too.
using QueryParams = std::vector<std::pair<std::string, std::string>>;

// The names and values of a query, or of a form's body as a browser sends it
// (application/x-www-form-urlencoded), "+" read as a blank.
QueryParams ParseQuery(std::string_view query);

// The first value of `name`, if the query has it.
std::optional<std::string> QueryParam(const QueryParams& params, std::string_view name);
// An optional numeric parameter: absent or empty gives `fallback`; false for
// anything but a non-negative decimal.
bool NumberParam(const QueryParams& params, std::string_view name, int64_t fallback,
                 int64_t& value);

// What the pages with forms and the actions use besides the request.
struct SiteTools {
    SessionStore* sessions = nullptr;
    WriteConnection* writer = nullptr;  // none: nothing can be written
    std::string token;                  // the server's token; empty: none is asked for
    std::string channelFile;            // notify.conf
    // Asked by a check run now and by a channel's test message; true ends them.
    std::function<bool()> stopped;
    MonitorTimings timings;
};

// The session of a request to a page with forms or an action; empty id for any
// other request.
struct CallSession {
    std::string id;
    std::string csrf;  // every form of the page carries it
    bool signedIn = false;
    bool secure = false;           // the browser reached the server over HTTPS
    std::optional<Notice> notice;  // what the last action did, shown once
};

struct RouteCall {
    const WebRequest& request;  // in origin form: the target starts with "/"
    std::string_view path;      // the target without its query
    std::string_view part;      // what the "*" of the route's path stood for
    const QueryParams& params;
    const PageLinks& links;  // carry the token on when the request brought it in its query
    std::time_t now;         // the site's clock
    ReadConnections& reader;
    const CheckBoard& board;
    const std::string& identity;  // the database's, for the feeds' ids
    // When the site first saw the database as it is now: what an answer made
    // from it was last modified at, as far as a client can be told.
    std::function<std::time_t()> databaseSeenSince;
    const QueryParams& form;  // a POST's form fields; empty for any other request
    const CallSession& session;
    const SiteTools& tools;
};

struct RouteAnswer {
    // A route may return a WebResponse alone: an answer without a date.
    RouteAnswer(WebResponse made = {}, std::optional<std::time_t> modified = std::nullopt)
        : response(std::move(made)), lastModified(modified) {}

    WebResponse response;
    // Given as Last-Modified (and compared with If-Modified-Since) when the
    // answer is 200; empty: the answer has no date.
    std::optional<std::time_t> lastModified;
};

// A text/plain answer of `text` and a line break.
WebResponse Plain(int status, std::string text);

}  // namespace vela
