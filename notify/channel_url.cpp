#include "channel_url.h"

#include <algorithm>
#include <cctype>

namespace vela {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string ChannelUrl::Query(std::string_view name) const {
    for (const auto& [key, value] : query) {
        if (EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

bool ChannelUrl::HasQuery(std::string_view name) const {
    for (const auto& entry : query) {
        if (EqualsIgnoringCase(entry.first, name)) return true;
    }
    return false;
}

bool ParseChannelUrl(std::string_view text, ChannelUrl& url, std::string& error) {
    url = ChannelUrl();
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    url.text = std::string(text);
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0) {
        error = "not a channel URL (scheme://...)";
        return false;
    }
    for (char c : text.substr(0, colon)) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            error = "not a channel URL (scheme://...)";
            return false;
        }
        url.scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            error = "a channel URL holds no control characters";
            return false;
        }
    }
    std::string_view rest = text.substr(colon + 3);
    // A fragment means nothing to a channel, nor do blanks before it (a comment
    // written after the URL).
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        rest = rest.substr(0, hash);
        while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
    }
    std::string_view query;
    if (const std::size_t mark = rest.find('?'); mark != std::string_view::npos) {
        query = rest.substr(mark + 1);
        rest = rest.substr(0, mark);
    }
    std::string_view authority = rest.substr(0, rest.find('/'));
    std::string_view path =
        authority.size() < rest.size() ? rest.substr(authority.size()) : std::string_view();
    // The last '@' ends the credentials: a password may hold one unencoded.
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userinfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const std::size_t split = userinfo.find(':');
        url.user = PercentDecode(userinfo.substr(0, split));
        if (split != std::string_view::npos) {
            url.password = PercentDecode(userinfo.substr(split + 1));
            url.hasPassword = true;
        }
    }
    url.authority = PercentDecode(authority);
    url.host = url.authority;
    if (const std::size_t portColon = authority.rfind(':');
        portColon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
        const std::string_view digits = authority.substr(portColon + 1);
        bool allDigits = !digits.empty() && digits.size() <= 5;
        for (char c : digits) allDigits = allDigits && c >= '0' && c <= '9';
        if (allDigits) {
            const int port = std::stoi(std::string(digits));
            if (port < 1 || port > 65535) {
                error = "port out of range";
                return false;
            }
            url.port = port;
            url.host = PercentDecode(authority.substr(0, portColon));
        }
    } else if (authority.size() > 2 && authority.front() == '[') {
        // [v6 address]:port
        const std::size_t close = authority.find(']');
        if (close != std::string_view::npos) {
            url.host = std::string(authority.substr(1, close - 1));
            const std::string_view after = authority.substr(close + 1);
            if (after.size() > 1 && after.front() == ':' && after.size() <= 6) {
                int port = 0;
                for (char c : after.substr(1)) {
                    if (c < '0' || c > '9') {
                        error = "bad port";
                        return false;
                    }
                    port = port * 10 + (c - '0');
                }
                if (port < 1 || port > 65535) {
                    error = "port out of range";
                    return false;
                }
                url.port = port;
            } else if (!after.empty()) {
                error = "bad port";
                return false;
            }
        }
    }
    while (!path.empty()) {
        path.remove_prefix(1);  // the '/'
        const std::string_view segment = path.substr(0, path.find('/'));
        if (!segment.empty()) url.path.push_back(PercentDecode(segment));
        path.remove_prefix(segment.size());
    }
    url.rawQuery = std::string(query);
    while (!query.empty()) {
        const std::string_view pair = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), pair.size() + 1));
        if (pair.empty()) continue;
        const std::size_t eq = pair.find('=');
        std::string key = PercentDecode(pair.substr(0, eq));
        std::string value =
            eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
        url.query.emplace_back(std::move(key), std::move(value));
    }
    return true;
}

}  // namespace vela
