// feishu://token[?secret=SECRET]: the Feishu/Lark custom robot's webhook, a text
// message; with a secret it is signed (HMAC-SHA256 of nothing under the time in
// seconds and the secret, as the service asks).

#include <nlohmann/json.hpp>

#include "fetch/percent_codec.h"
#include "json_request.h"
#include "message_split.h"
#include "robot_signature.h"
#include "service_table.h"
#include "text_escape.h"

namespace vela {
namespace {

// The service takes bodies up to 20 KB; the JSON form of a text can grow.
constexpr std::size_t kTextBytes = 15000;

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty()) {
        error = "needs the robot's token: feishu://token[?secret=SECRET]";
        return false;
    }
    return true;
}

std::string Title(const std::string& title) { return title; }
std::string Scheme(const std::string& scheme) { return "【" + scheme + "】"; }
// A web link goes out byte for byte, but for what could start a tag
// (<at user_id="all">) or end the link's line: angle brackets, blanks and control
// characters, percent-encoded as a browser sends them anyway.
std::string Link(const std::string& link) {
    return PercentEncode(link, [](unsigned char byte) {
        return byte > 0x20 && byte != 0x7F && byte != '<' && byte != '>';
    });
}

std::string Article(const std::string& title, const std::string& link) {
    if (IsHttpLink(link)) return title + "\n" + Link(link);
    return link.empty() ? title : title + "\n" + EscapeTagText(link);
}

bool Accepted(const std::string& body) {
    return JsonCodeIsZero(body, "code") || JsonCodeIsZero(body, "StatusCode");
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    const TextFormat format{&EscapeTagText,    &Title,    &Scheme, &Article, "\n",
                            LengthUnit::Bytes, kTextBytes};
    const std::string secret = url.Query("secret");
    const int64_t seconds = context.nowMs / 1000;
    // The signature, when there is one, comes first, as the service documents it.
    nlohmann::ordered_json signature = nlohmann::ordered_json::object();
    if (!secret.empty()) {
        signature["timestamp"] = std::to_string(seconds);
        signature["sign"] = FeishuSignature(seconds, secret);
    }
    std::vector<ServiceRequest> requests;
    for (const std::string& text : SplitMessage(message, format)) {
        nlohmann::ordered_json body = signature;
        body["msg_type"] = "text";
        body["content"] = {{"text", text}};
        ServiceRequest request = JsonPost(
            context.endpoints.feishu + "/open-apis/bot/v2/hook/" + PercentEncode(url.authority),
            body);
        request.accepted = &Accepted;
        requests.push_back(std::move(request));
    }
    return requests;
}

}  // namespace

const Service kFeishuService{{"feishu"}, &TokenInHost, &Check, &Compose};

}  // namespace vela
