#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channel_url.h"
#include "notify_message.h"

namespace vela {

// Where the hosted services are reached. Each can be pointed elsewhere (a test
// server) with an environment variable: VELA_NOTIFY_TGRAM_URL,
// VELA_NOTIFY_WECOMBOT_URL, VELA_NOTIFY_DINGTALK_URL, VELA_NOTIFY_FEISHU_URL,
// VELA_NOTIFY_DISCORD_URL, VELA_NOTIFY_NTFY_URL (scheme, host and port, no trailing slash).
struct ServiceEndpoints {
    std::string tgram = "https://api.telegram.org";
    std::string wecombot = "https://qyapi.weixin.qq.com";
    std::string dingtalk = "https://oapi.dingtalk.com";
    std::string feishu = "https://open.feishu.cn";
    std::string discord = "https://discord.com";
    std::string ntfy = "https://ntfy.sh";  // ntfy://topic without a server
};
ServiceEndpoints EndpointsFromEnvironment();

// One HTTP POST.
struct HttpPost {
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    std::string user;  // HTTP basic authentication when not empty
    std::string password;
};

// One mail over SMTP.
struct MailSend {
    std::string url;         // smtp://host:port or smtps://host:port
    bool requireTls = true;  // STARTTLS required on smtp:// (otherwise used when offered)
    std::string user;
    std::string password;
    std::string from;
    std::vector<std::string> to;
    std::string message;  // the whole RFC 5322 message, CR LF line ends
};

// One request of a delivery; a message split for a service's size limit gives
// several, sent in order.
struct ServiceRequest {
    bool mail = false;
    HttpPost http;
    MailSend smtp;
    // Whether a 2xx answer's body says the service took the message (the chat
    // robots answer 200 with an error code); null: any 2xx is acceptance.
    bool (*accepted)(const std::string& body) = nullptr;
};

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

// A query key whose value is taken for a secret, case ignored: pwd, sig or sign;
// a name that holds token, secret, pass, auth or signature (access_token,
// password, Authorization); or one that ends in key (apikey, api_key, X-API-Key).
bool SecretQueryKey(std::string_view key);
// The secrets of a channel: password, tokens, and query values named like one.
std::vector<std::string> ChannelSecrets(const ChannelUrl& url);
// The channel as it may be shown: every secret replaced by "****".
std::string MaskedChannel(const ChannelUrl& url);
// A channel text that may not parse, as it may be shown: the masked channel, or
// only its scheme.
std::string MaskedChannelText(std::string_view text);
// `text` with every secret (decoded or as written in the URL) replaced by "****".
std::string HideSecrets(std::string text, const ChannelUrl& url);

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

// Shared by the service units: a JSON POST to `url`.
ServiceRequest JsonPost(std::string url, std::string body);
// The `"errcode":0`-style check of the chat robots: the integer member `key` of
// the answer's object is 0.
bool JsonCodeIsZero(const std::string& body, const char* key);

}  // namespace vela

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

namespace vela {

// The signatures of the robots that sign (base64 of the HMAC, not yet
// percent-encoded).
std::string DingtalkSignature(int64_t timestampMs, const std::string& secret);
std::string FeishuSignature(int64_t timestampSeconds, const std::string& secret);

}  // namespace vela

namespace vela {

// The RFC 5322 message of a mail: UTF-8 subject as encoded words, the plain body
// in base64; `unique` makes the Message-ID unique.
std::string MailMessage(const std::string& from, const std::vector<std::string>& to,
                        const NotifyMessage& message, int64_t nowMs, uint64_t unique);

}  // namespace vela
