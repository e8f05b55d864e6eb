#include "service_url.h"

#include "text_escape.h"

namespace vela {

bool PlainHost(const ChannelUrl& url) {
    if (url.host.empty() || url.host.find_first_of("/@[] ") != std::string::npos) return false;
    const bool bracketed = !url.authority.empty() && url.authority.front() == '[';
    return bracketed || url.host.find(':') == std::string::npos;
}

std::string WebAddress(const ChannelUrl& url, bool secure) {
    std::string address = secure ? "https://" : "http://";
    address += url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != 0) address += ":" + std::to_string(url.port);
    for (const std::string& segment : url.path) address += "/" + PercentEncode(segment);
    return address;
}

std::string NewestWebLink(const NotifyMessage& message) {
    if (message.articles.empty() || !IsHttpLink(message.articles.front().link)) return {};
    return EncodeLink(message.articles.front().link);
}

}  // namespace vela
