#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "channel_url.h"

namespace vela {

// A query key whose value is taken for a secret, case ignored: pwd, sig or sign;
// a name that holds token, secret, pass, auth or signature (access_token,
// password, Authorization); or one that ends in key (apikey, api_key, X-API-Key).
bool SecretQueryKey(std::string_view key);
// The secrets of a channel: password, tokens (where its service keeps them), and
// query values named like one.
std::vector<std::string> ChannelSecrets(const ChannelUrl& url);
// The channel as it may be shown: every secret replaced by "****".
std::string MaskedChannel(const ChannelUrl& url);
// A channel text that may not parse, as it may be shown: the masked channel, or
// only its scheme.
std::string MaskedChannelText(std::string_view text);
// `text` with every secret (decoded or as written in the URL) replaced by "****".
std::string HideSecrets(std::string text, const ChannelUrl& url);

}  // namespace vela
