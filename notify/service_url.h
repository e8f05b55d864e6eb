#pragma once

#include <string>

#include "channel_url.h"
#include "notify_message.h"

// What the service units share to read a channel's URL and write the addresses
// and links of their requests.

namespace vela {

// A host name or address, an IPv6 address in brackets included, and nothing that
// is not one (a token with ':', a '/' or '@' decoded from the URL).
bool PlainHost(const ChannelUrl& url);

// http(s)://host[:port]/segment/... of a self-hosted channel's URL, the path
// segments encoded again.
std::string WebAddress(const ChannelUrl& url, bool secure);

// The web link of the newest article, or empty.
std::string NewestWebLink(const NotifyMessage& message);

}  // namespace vela
