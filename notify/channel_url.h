#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Channel URLs are percent-encoded: PercentDecode reads their parts back.
#include "fetch/percent_codec.h"

namespace vela {

// A notification channel's URL taken apart, every part percent-decoded:
// scheme://[user[:password]@]host[:port][/segment...][?key=value&...].
// Tokens of chat services stand where a host would (`tgram://123:abc/chat`), so
// `authority` keeps the whole part after the credentials, and `host`/`port` split
// it only where what follows the last ':' is a port number.
struct ChannelUrl {
    std::string text;    // as given, blanks around it removed
    std::string scheme;  // lower case
    std::string user;
    std::string password;
    bool hasPassword = false;
    std::string authority;  // host[:port] or a token, decoded
    std::string host;
    int port = 0;                   // 0: the service's default
    std::vector<std::string> path;  // non-empty segments
    std::vector<std::pair<std::string, std::string>> query;
    std::string rawQuery;  // the query as written, not decoded, without its '?'

    // The value of the first query key `name` (ASCII case ignored); empty if none.
    std::string Query(std::string_view name) const;
    bool HasQuery(std::string_view name) const;
};

// False, with one line in `error`, for a text that is no channel URL. The error
// never repeats a password or token.
bool ParseChannelUrl(std::string_view text, ChannelUrl& url, std::string& error);

}  // namespace vela
