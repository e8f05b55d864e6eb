// json://host[:port]/path and jsons://: one JSON document per message, POSTed.

#include "service.h"
#include "text_escape.h"

namespace vela {
namespace {

bool Check(const ChannelUrl& url, std::string& error) {
    if (!PlainHost(url)) {
        error = "needs a host: json://host[:port]/path";
        return false;
    }
    return true;
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext&) {
    std::string body = "{\"title\":" + JsonString(message.title) +
                       ",\"body\":" + JsonString(PlainBody(message)) + ",\"articles\":[";
    for (std::size_t i = 0; i < message.articles.size(); ++i) {
        const NotifyArticle& a = message.articles[i];
        if (i > 0) body += ',';
        body += "{\"scheme\":" + JsonString(a.scheme) + ",\"title\":" + JsonString(a.title) +
                ",\"link\":" + JsonString(a.link) + ",\"other\":" + JsonString(a.other) +
                ",\"time\":" + JsonString(a.time) + "}";
    }
    body += "]}";
    ServiceRequest request = JsonPost(WebAddress(url, url.scheme == "jsons"), std::move(body));
    request.http.user = url.user;
    request.http.password = url.password;
    return {std::move(request)};
}

}  // namespace

const Service kJsonService{{"json", "jsons"}, false, -1, &Check, &Compose};

}  // namespace vela
