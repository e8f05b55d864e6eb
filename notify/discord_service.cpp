// discord://webhook_id/webhook_token: Discord's webhook, the message as content
// text, mentions switched off.

#include <nlohmann/json.hpp>

#include "json_request.h"
#include "message_split.h"
#include "service_table.h"
#include "text_escape.h"

namespace vela {
namespace {

constexpr std::size_t kContentLength = 2000;

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty() || url.path.empty()) {
        error = "needs the webhook's id and token: discord://webhook_id/webhook_token";
        return false;
    }
    return true;
}

// The webhook's id stands where a host would, its token is the first segment.
SecretPlaces TokenSegment(const ChannelUrl&) { return {false, {0}}; }

std::string Title(const std::string& title) { return "**" + title + "**"; }
std::string Scheme(const std::string& scheme) { return "**【" + scheme + "】**"; }
// A link in angle brackets is shown without a preview.
std::string Article(const std::string& title, const std::string& link) {
    if (IsHttpLink(link)) return title + "\n<" + EncodeLink(link) + ">";
    return link.empty() ? title : title + "\n" + EscapeDiscord(link);
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    const TextFormat format{&EscapeDiscord,    &Title,        &Scheme, &Article, "\n",
                            LengthUnit::Utf16, kContentLength};
    std::vector<ServiceRequest> requests;
    for (const std::string& text : SplitMessage(message, format)) {
        const nlohmann::ordered_json body = {
            {"content", text}, {"allowed_mentions", {{"parse", nlohmann::ordered_json::array()}}}};
        requests.push_back(JsonPost(context.endpoints.discord + "/api/webhooks/" +
                                        PercentEncode(url.authority) + "/" +
                                        PercentEncode(url.path.front()),
                                    body));
    }
    return requests;
}

}  // namespace

const Service kDiscordService{{"discord"}, &TokenSegment, &Check, &Compose};

}  // namespace vela
