// wecombot://key: the WeCom group robot's webhook, a markdown message.

#include <nlohmann/json.hpp>

#include "json_request.h"
#include "message_split.h"
#include "service_table.h"
#include "text_escape.h"

namespace vela {
namespace {

constexpr std::size_t kContentBytes = 4096;

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty()) {
        error = "needs the robot's key: wecombot://key";
        return false;
    }
    return true;
}

bool Accepted(const std::string& body) { return JsonCodeIsZero(body, "errcode"); }

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    const TextFormat format{&EscapeRobotMarkdown,
                            &RobotMarkdownTitle,
                            &RobotMarkdownScheme,
                            &RobotMarkdownArticle,
                            "\n",
                            LengthUnit::Bytes,
                            kContentBytes};
    std::vector<ServiceRequest> requests;
    for (const std::string& text : SplitMessage(message, format)) {
        const nlohmann::ordered_json body = {{"msgtype", "markdown"},
                                             {"markdown", {{"content", text}}}};
        ServiceRequest request = JsonPost(
            context.endpoints.wecombot + "/cgi-bin/webhook/send?key=" + PercentEncode(url.authority),
            body);
        request.accepted = &Accepted;
        requests.push_back(std::move(request));
    }
    return requests;
}

}  // namespace

const Service kWecomService{{"wecombot"}, &TokenInHost, &Check, &Compose};

}  // namespace vela
