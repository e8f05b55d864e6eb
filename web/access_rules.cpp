#include "access_rules.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>

namespace vela {
namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i])) return false;
    }
    return true;
}

bool IsPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool IsLoopbackAddress(const std::string& text) {
    boost::system::error_code error;
    auto address = boost::asio::ip::make_address(text, error);
    if (error) return false;
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    }
    return address.is_loopback();
}

}  // namespace

bool ParseListenAddress(std::string_view text, ListenAddress& out) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value > 65535) {
        return false;
    }
    out.host = std::string(host);
    out.port = static_cast<uint16_t>(value);
    if (host == "localhost") {
        out.loopback = true;
        return true;
    }
    boost::system::error_code error;
    boost::asio::ip::make_address(out.host, error);
    if (error) return false;
    out.loopback = IsLoopbackAddress(out.host);
    return true;
}

bool HostAllowed(std::string_view host, std::string_view listenHost) {
    std::string_view name;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        name = host.substr(1, close - 1);
        const std::string_view rest = host.substr(close + 1);
        if (name.find(':') == std::string_view::npos) return false;  // brackets hold IPv6 only
        if (!rest.empty() && (rest.front() != ':' || !IsPort(rest.substr(1)))) return false;
    } else {
        const std::size_t colon = host.find(':');
        name = host.substr(0, colon);
        if (colon != std::string_view::npos && !IsPort(host.substr(colon + 1))) return false;
    }
    std::string folded(name);
    for (char& c : folded) c = Folded(c);
    // "localhost." is the same name written fully qualified.
    if (folded.size() > 1 && folded.back() == '.') folded.pop_back();
    if (folded.empty()) return false;
    constexpr std::string_view kLocal = "localhost";
    constexpr std::string_view kUnderLocal = ".localhost";
    if (folded == kLocal || (folded.size() > kUnderLocal.size() &&
                             folded.compare(folded.size() - kUnderLocal.size(), kUnderLocal.size(),
                                            kUnderLocal) == 0)) {
        return true;
    }
    return IsLoopbackAddress(folded) || (!listenHost.empty() && EqualFolded(folded, listenHost));
}

std::string_view BearerCredentials(std::string_view authorization) {
    constexpr std::string_view kScheme = "bearer";
    if (authorization.size() <= kScheme.size() ||
        !EqualFolded(authorization.substr(0, kScheme.size()), kScheme) ||
        (authorization[kScheme.size()] != ' ' && authorization[kScheme.size()] != '\t')) {
        return {};
    }
    std::string_view credentials = authorization.substr(kScheme.size());
    while (!credentials.empty() && (credentials.front() == ' ' || credentials.front() == '\t')) {
        credentials.remove_prefix(1);
    }
    return credentials;
}

bool TokensMatch(std::string_view given, std::string_view expected) {
    // Every byte of the expected token is looked at whatever the given one holds.
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        difference |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected[i]));
    }
    return difference == 0 && !expected.empty();
}

namespace {

// `authority` without the default port of `scheme`.
std::string_view WithoutDefaultPort(std::string_view authority, std::string_view scheme) {
    const std::string_view port = scheme == "https" ? ":443" : ":80";
    if (authority.size() > port.size() &&
        authority.substr(authority.size() - port.size()) == port) {
        authority.remove_suffix(port.size());
    }
    return authority;
}

// The scheme ("http" or "https", folded) and authority of an absolute http(s)
// address; false for any other text.
bool SchemeAndAuthority(std::string_view address, std::string& scheme,
                        std::string_view& authority) {
    const std::size_t sep = address.find("://");
    if (sep == std::string_view::npos) return false;
    scheme.clear();
    for (const char c : address.substr(0, sep)) scheme += Folded(c);
    if (scheme != "http" && scheme != "https") return false;
    const std::string_view rest = address.substr(sep + 3);
    authority = rest.substr(0, rest.find_first_of("/?#"));
    // Credentials have no place here; an authority holding them is no match.
    return !authority.empty() && authority.find('@') == std::string_view::npos;
}

}  // namespace

bool OriginIsHost(std::string_view origin, std::string_view host) {
    std::string scheme;
    std::string_view authority;
    if (host.empty() || !SchemeAndAuthority(origin, scheme, authority)) return false;
    // An Origin is the scheme and authority alone.
    if (authority.size() + scheme.size() + 3 != origin.size()) return false;
    return EqualFolded(WithoutDefaultPort(authority, scheme), WithoutDefaultPort(host, scheme));
}

bool RefererIsHost(std::string_view referer, std::string_view host) {
    std::string scheme;
    std::string_view authority;
    if (host.empty() || !SchemeAndAuthority(referer, scheme, authority)) return false;
    return EqualFolded(WithoutDefaultPort(authority, scheme), WithoutDefaultPort(host, scheme));
}

}  // namespace vela
