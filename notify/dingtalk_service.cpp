// dingtalk://token[?secret=SECRET]: the DingTalk robot's webhook, a markdown
// message; with a secret the request is signed (HMAC-SHA256 of the time in
// milliseconds and the secret, under the secret).

#include <nlohmann/json.hpp>

#include "json_request.h"
#include "message_split.h"
#include "robot_signature.h"
#include "service_table.h"
#include "text_escape.h"

namespace vela {
namespace {

constexpr std::size_t kTextBytes = 20000;

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty()) {
        error = "needs the robot's token: dingtalk://token[?secret=SECRET]";
        return false;
    }
    return true;
}

bool Accepted(const std::string& body) { return JsonCodeIsZero(body, "errcode"); }

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    // DingTalk's markdown joins single line breaks.
    const TextFormat format{&EscapeRobotMarkdown,
                            &RobotMarkdownTitle,
                            &RobotMarkdownScheme,
                            &RobotMarkdownArticle,
                            "\n\n",
                            LengthUnit::Bytes,
                            kTextBytes};
    std::string address =
        context.endpoints.dingtalk + "/robot/send?access_token=" + PercentEncode(url.authority);
    const std::string secret = url.Query("secret");
    if (!secret.empty()) {
        address += "&timestamp=" + std::to_string(context.nowMs) +
                   "&sign=" + PercentEncode(DingtalkSignature(context.nowMs, secret));
    }
    std::vector<ServiceRequest> requests;
    for (const std::string& text : SplitMessage(message, format)) {
        const nlohmann::ordered_json body = {
            {"msgtype", "markdown"},
            {"markdown", {{"title", PlainLine(message.title)}, {"text", text}}}};
        ServiceRequest request = JsonPost(address, body);
        request.accepted = &Accepted;
        requests.push_back(std::move(request));
    }
    return requests;
}

}  // namespace

const Service kDingtalkService{{"dingtalk"}, &TokenInHost, &Check, &Compose};

}  // namespace vela
