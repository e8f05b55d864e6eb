// ntfy://[user:password@]host[:port]/topic and ntfys://: ntfy's JSON publishing
// (title, message, a click on it opens the newest article). ntfy://topic alone
// publishes on the public server.

#include <nlohmann/json.hpp>

#include "json_request.h"
#include "message_split.h"
#include "service_table.h"
#include "service_url.h"
#include "text_escape.h"

namespace vela {
namespace {

// ntfy turns a longer message into an attachment.
constexpr std::size_t kMessageBytes = 4096;

bool Check(const ChannelUrl& url, std::string& error) {
    if (url.authority.empty() || url.path.size() > 1 ||
        (url.path.empty() && url.authority.find_first_of(":@/") != std::string::npos) ||
        (!url.path.empty() && !PlainHost(url))) {
        error = "needs a topic: ntfy://[user:password@]host[:port]/topic or ntfy://topic";
        return false;
    }
    return true;
}

// Whoever knows a topic can read it: on the public server it is the only secret.
SecretPlaces TopicPlace(const ChannelUrl& url) {
    if (url.path.empty()) return {true, {}};
    return {false, {0}};
}

std::string Scheme(const std::string& scheme) { return "【" + scheme + "】"; }
std::string Article(const std::string& title, const std::string& link) {
    return link.empty() ? title : title + "\n" + PlainLine(link);
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext& context) {
    std::string address;
    std::string topic;
    if (url.path.empty()) {
        address = context.endpoints.ntfy;
        topic = url.authority;
    } else {
        ChannelUrl server = url;
        server.path.clear();
        address = WebAddress(server, url.scheme == "ntfys");
        topic = url.path.front();
    }
    const TextFormat format{&PlainLine, nullptr,           &Scheme,      &Article,
                            "\n",       LengthUnit::Bytes, kMessageBytes};
    const std::string click = NewestWebLink(message);
    std::vector<ServiceRequest> requests;
    for (const std::string& text : SplitMessage(message, format)) {
        nlohmann::ordered_json body = {
            {"topic", topic}, {"title", PlainLine(message.title)}, {"message", text}};
        if (!click.empty()) body["click"] = click;
        ServiceRequest request = JsonPost(address, body);
        request.http.user = url.user;
        request.http.password = url.password;
        requests.push_back(std::move(request));
    }
    return requests;
}

}  // namespace

const Service kNtfyService{{"ntfy", "ntfys"}, &TopicPlace, &Check, &Compose};

}  // namespace vela
