#include "access_rules.h"

#include <boost/asio/ip/address.hpp>
#include <charconv>

namespace vela {

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
    auto address = boost::asio::ip::make_address(out.host, error);
    if (error) return false;
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    }
    out.loopback = address.is_loopback();
    return true;
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

}  // namespace vela
