#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One request and its answer as the site sees them, apart from the HTTP library:
// the site is tested with these values, the server turns them into bytes.

namespace vela {

struct WebRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::string host;
    std::string authorization;
    std::string ifNoneMatch;
    std::string ifModifiedSince;
    std::string cookie{};
    std::string origin{};
    std::string referer{};
    std::string forwardedProto{};  // X-Forwarded-Proto, as a proxy in front says it
    std::string contentType{};
    std::string body{};  // at most ServerLimits::bodyBytes
};

struct WebResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    void Set(std::string name, std::string value) {
        headers.emplace_back(std::move(name), std::move(value));
    }
    const std::string* Header(const std::string& name) const {
        for (const auto& [n, v] : headers) {
            if (n == name) return &v;
        }
        return nullptr;
    }
};

using WebHandler = std::function<WebResponse(const WebRequest&)>;
// An answer made at once without waiting on anything; empty when the request
// needs the full handler.
using QuickHandler = std::function<std::optional<WebResponse>(const WebRequest&)>;

}  // namespace vela
