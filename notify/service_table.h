#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channel_url.h"
#include "notify_message.h"
#include "service_endpoints.h"
#include "service_request.h"

namespace vela {

struct ComposeContext {
    const ServiceEndpoints& endpoints;
    int64_t nowMs;  // signatures and the mail's Date
};

// Where a channel's URL holds a token, besides its password and the query values
// named like one.
struct SecretPlaces {
    bool authority = false;             // the host position
    std::vector<std::size_t> segments;  // path segments, by index
};

// One service: the schemes of its URLs, which parts of them are secret, the
// check of a URL and the requests for a message.
struct Service {
    std::vector<std::string_view> schemes;
    SecretPlaces (*secretPlaces)(const ChannelUrl& url);
    // False, with one line in `error`, when the URL lacks what the service needs.
    bool (*check)(const ChannelUrl& url, std::string& error);
    std::vector<ServiceRequest> (*compose)(const ChannelUrl& url, const NotifyMessage& message,
                                           const ComposeContext& context);
};

// The service of a scheme (lower case); null for an unknown one.
const Service* FindService(std::string_view scheme);
// Every scheme the program delivers to, for messages.
std::string KnownSchemes();

// Each service's own unit.
extern const Service kJsonService;
extern const Service kNtfyService;
extern const Service kTelegramService;
extern const Service kWecomService;
extern const Service kDingtalkService;
extern const Service kFeishuService;
extern const Service kDiscordService;
extern const Service kMailService;

// Shared by the service units: where their URLs hold tokens. None (besides the
// password and the query); the host position; path segments that read like a
// made-up token (16 characters or more, or 8 or more mixing letters and digits).
SecretPlaces NoSecretPlaces(const ChannelUrl& url);
SecretPlaces TokenInHost(const ChannelUrl& url);
SecretPlaces TokenLikeSegments(const ChannelUrl& url);

}  // namespace vela
