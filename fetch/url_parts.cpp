#include "fetch/url_parts.h"

#include <algorithm>

#include "fetch/encoding.h"
#include "fetch/gbk_search.h"
#include "fetch/percent_codec.h"
#include "fetch/text_between.h"

namespace vela {
namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return GbkAsciiLower(text.substr(0, prefix.size())) == prefix;
}

// Port numbers are read saturated: any value above this is no port anyway.
constexpr int kPortCeiling = 100000;

}  // namespace

std::string UrlHost(std::string_view address, bool keepPort) {
    std::string text = GbkAsciiLower(address);
    if (text.empty() || text.back() != '/') text.push_back('/');
    std::string host;
    if (text.starts_with(kHttps)) {
        host = TextBetween(text, kHttps, "/");
    } else {
        // Only a scheme at the front counts: "a.com/go?to=http://b.com/" is a.com.
        if (!text.starts_with(kHttp)) text.insert(0, kHttp);
        host = TextBetween(text, kHttp, "/");
    }
    if (!keepPort) host = host.substr(0, GbkFind(host, ":"));
    return host;
}

int UrlPort(std::string_view address) {
    const std::string host = UrlHost(address, true);
    const std::size_t colon = host.rfind(':');
    if (colon == std::string::npos) return StartsWithNoCase(address, kHttps) ? 443 : 80;
    const std::string_view digits = std::string_view(host).substr(colon + 1);
    int port = 0;
    for (std::size_t i = 0; i < digits.size();) {
        int digit = -1;
        const auto b0 = static_cast<unsigned char>(digits[i]);
        if (b0 >= '0' && b0 <= '9') {
            digit = b0 - '0';
        } else if (b0 == 0xA3 && i + 1 < digits.size()) {
            // Full-width digits 0-9 are A3 B0 to A3 B9.
            const auto b1 = static_cast<unsigned char>(digits[i + 1]);
            if (b1 >= 0xB0 && b1 <= 0xB9) digit = b1 - 0xB0;
        }
        if (digit < 0) break;
        port = std::min(port * 10 + digit, kPortCeiling);
        i += GbkCharLength(digits, i);
    }
    return port;
}

std::string UrlPath(std::string_view address) {
    const std::string host = UrlHost(address);
    // The host is looked for behind the scheme, so a host such as "tp" is not
    // found inside "http://" itself.
    std::size_t from = 0;
    if (StartsWithNoCase(address, kHttps)) {
        from = kHttps.size();
    } else if (StartsWithNoCase(address, kHttp)) {
        from = kHttp.size();
    }
    const std::size_t p = GbkFind(address, host, from, true);
    if (p == kNotFound) return "/";
    const std::size_t q = GbkFind(address, "/", p, true);
    if (q == kNotFound) return "/";
    return std::string(address.substr(q));
}

bool IsHostWithin(std::string_view host, std::string_view own) {
    if (host == own) return true;
    if (own.empty() || own.find_first_not_of("0123456789.") == std::string_view::npos) return false;
    return host.size() > own.size() && host.ends_with(own) &&
           host[host.size() - own.size() - 1] == '.';
}

bool IsHttpLink(std::string_view link) {
    std::size_t from = 0;
    if (StartsWithNoCase(link, kHttps)) {
        from = kHttps.size();
    } else if (StartsWithNoCase(link, kHttp)) {
        from = kHttp.size();
    } else {
        return false;
    }
    // The authority ends at the path, the query or the fragment; the host is what
    // follows its user information and comes before its port.
    std::string_view authority = link.substr(from, link.find_first_of("/?#", from) - from);
    authority.remove_prefix(authority.rfind('@') + 1);
    return !authority.empty() && authority.front() != ':';
}

std::string RequestAddress(std::string_view address, bool utf8) {
    address = GbkTrimView(address);
    std::size_t from = 0;
    if (StartsWithNoCase(address, kHttps)) {
        from = kHttps.size();
    } else if (StartsWithNoCase(address, kHttp)) {
        from = kHttp.size();
    }
    // The host ends at the first "/" (no GBK trail byte is one); a name with
    // characters beyond ASCII is left as it is, to fail as it always did.
    const std::size_t pathStart = std::min(address.find('/', from), address.size());
    std::string out(address.substr(0, pathStart));
    out.reserve(address.size() + 16);
    const auto encode = [&out](std::string_view bytes) {
        AppendPercentEncoded(out, bytes, [](unsigned char) { return false; });
    };
    for (std::size_t i = pathStart; i < address.size();) {
        if (static_cast<unsigned char>(address[i]) < 0x80) {
            out.push_back(address[i++]);
            continue;
        }
        // One run of GBK characters: a trail byte may be ASCII, so the run is
        // taken a character at a time.
        const std::size_t start = i;
        while (i < address.size() && static_cast<unsigned char>(address[i]) >= 0x80) {
            i += GbkCharLength(address, i);
        }
        const std::string_view run = address.substr(start, i - start);
        if (utf8) {
            encode(GbkTextToUtf8(run));
        } else {
            encode(run);
        }
    }
    return out;
}

}  // namespace vela
