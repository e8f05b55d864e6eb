// json://host[:port]/path[?query] and jsons://: one JSON document per message,
// POSTed to the path with its query. Path segments that read like a token and
// query values named like one are secrets.

#include <nlohmann/json.hpp>

#include "fetch/percent_codec.h"
#include "json_request.h"
#include "service_table.h"
#include "service_url.h"

namespace vela {
namespace {

bool Check(const ChannelUrl& url, std::string& error) {
    if (!PlainHost(url)) {
        error = "needs a host: json://host[:port]/path";
        return false;
    }
    return true;
}

// The query as written, only what a request line cannot carry (blanks, quotes,
// angle brackets, non-ASCII) percent-encoded.
std::string QueryText(std::string_view query) {
    return PercentEncode(query, [](unsigned char byte) {
        return byte > 0x20 && byte < 0x7F &&
               std::string_view("\"<>\\^`{|}").find(static_cast<char>(byte)) ==
                   std::string_view::npos;
    });
}

std::vector<ServiceRequest> Compose(const ChannelUrl& url, const NotifyMessage& message,
                                    const ComposeContext&) {
    nlohmann::ordered_json articles = nlohmann::ordered_json::array();
    for (const NotifyArticle& a : message.articles) {
        articles.push_back({{"scheme", a.scheme},
                            {"title", a.title},
                            {"link", a.link},
                            {"other", a.other},
                            {"time", a.time}});
    }
    const nlohmann::ordered_json body = {
        {"title", message.title}, {"body", PlainBody(message)}, {"articles", std::move(articles)}};
    std::string address = WebAddress(url, url.scheme == "jsons");
    if (!url.rawQuery.empty()) address += "?" + QueryText(url.rawQuery);
    ServiceRequest request = JsonPost(std::move(address), body);
    request.http.user = url.user;
    request.http.password = url.password;
    return {std::move(request)};
}

}  // namespace

const Service kJsonService{{"json", "jsons"}, &TokenLikeSegments, &Check, &Compose};

}  // namespace vela
