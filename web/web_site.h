#pragma once

#include <string>

#include "answer_cache.h"
#include "check_board.h"
#include "read_connections.h"
#include "web_exchange.h"

// The routes of `vela-cli serve`: the pages, the feeds and the JSON answer, each
// request checked against the token, every answer with its security headers, its
// ETag and, where it has one, its Last-Modified, so that an unchanged answer to a
// conditional request is 304 without a body.

namespace vela {

struct SiteSettings {
    std::string token;     // empty: no token asked for
    std::string identity;  // DatabaseIdentity() of the file, for the feeds' ids
};

class WebSite {
public:
    WebSite(ReadConnections& reader, const CheckBoard& board, SiteSettings settings);

    WebResponse Answer(const WebRequest& request) const;

private:
    ReadConnections& reader_;
    const CheckBoard& board_;
    SiteSettings settings_;
    mutable AnswerCache cache_;
};

// Headers every answer carries.
inline constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; style-src 'self'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

}  // namespace vela
