#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "answer_cache.h"
#include "check_board.h"
#include "html_pages.h"
#include "read_connections.h"
#include "route_call.h"
#include "route_table.h"
#include "session_store.h"
#include "web_exchange.h"
#include "write_connection.h"

// What `vela-cli serve` answers: each request goes to its route (route_table),
// and around the route the site checks the Host against the names of this
// machine (without a token), the method, and the token; keeps the answers made
// from the database; and gives every answer its security headers, its ETag and,
// where it has one, its Last-Modified, so that an unchanged answer to a
// conditional request is 304 without a body. A request that changes something
// is a POST whose form carries the CSRF token of the browser's session and whose
// Origin (or Referer) is the server's own.

namespace vela {

struct SiteSettings {
    std::string token;     // empty: no token asked for, and only a loopback Host is answered
    std::string identity;  // the database's identity, for the feeds' ids
    // The listening address (IPv6 without brackets): a Host naming it is answered
    // without a token as well.
    std::string listenHost;
    // The wall clock; empty: the system's. Tests set their own.
    std::function<std::time_t()> clock;
    // The writable connection of the actions (opened with the runner's busy
    // wait); none: every action answers that the database cannot be written.
    Database* writer = nullptr;
    std::string channelFile{};  // notify.conf; empty: the channels page has none
    // Asked by a check run now and a test message: true ends them (a stop signal).
    std::function<bool()> stopped{};
    MonitorTimings timings{};  // of a check run now
};

class WebSite {
public:
    WebSite(ReadConnections& reader, const CheckBoard& board, SiteSettings settings);

    // The answer to `request`; it may wait for the database.
    WebResponse Answer(const WebRequest& request) const;
    // The answer to a request that needs nothing of the database (the style sheet,
    // a refusal), made at once; empty for every other, which Answer makes.
    std::optional<WebResponse> AnswerAtOnce(const WebRequest& request) const;

private:
    // The answer to `request` (in origin form); empty when it needs the database
    // and `mayWait` is false.
    std::optional<RouteAnswer> Respond(const WebRequest& request, bool mayWait) const;
    std::optional<WebResponse> TokenRefusal(const WebRequest& request, const Route& route,
                                            const QueryParams& params, bool signedIn,
                                            PageLinks& links) const;
    RouteAnswer Kept(const Route& route, RouteCall& call) const;
    WebResponse Finish(const WebRequest& request, RouteAnswer made) const;
    std::time_t Now() const;
    std::time_t SeenSince(uint64_t generation) const;

    ReadConnections& reader_;
    const CheckBoard& board_;
    SiteSettings settings_;
    mutable AnswerCache cache_;
    mutable SessionStore sessions_;
    std::unique_ptr<WriteConnection> writer_;
    SiteTools tools_;
    // When this site first saw the database as it is now: what an answer of the
    // database was last modified at, as far as a client can be told.
    mutable std::mutex seenMutex_;
    mutable uint64_t seenGeneration_ = 0;
    mutable std::time_t seenSince_ = 0;
};

// Headers every answer carries.
inline constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; style-src 'self'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

}  // namespace vela
