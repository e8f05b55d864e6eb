#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Who may talk to the server: the listening address and the token.

namespace vela {

struct ListenAddress {
    std::string host;  // as given, without the brackets of an IPv6 address
    uint16_t port = 0;
    bool loopback = false;  // 127.0.0.0/8, ::1, or "localhost"
};

// "127.0.0.1:8571", "[::1]:8571", "localhost:8571", "0.0.0.0:80"; port 0 asks
// for any free port. False for anything else.
bool ParseListenAddress(std::string_view text, ListenAddress& out);

// Whether a request's Host header names this server the way only a local client
// does: a loopback name ("localhost", any name under ".localhost"), a loopback
// address (127.0.0.0/8, "[::1]"), or `listenHost` (the listening address, IPv6
// without brackets), each with or without a port; letters in any case. A page of
// another site whose name was made to resolve to 127.0.0.1 sends its own name
// and is refused.
bool HostAllowed(std::string_view host, std::string_view listenHost);

// The credentials of an "Authorization: Bearer ..." header; the scheme name is
// case-insensitive and blanks may follow it. Empty for any other header.
std::string_view BearerCredentials(std::string_view authorization);

// Compares a token given by a client with the expected one in a time that does
// not depend on where they first differ.
bool TokensMatch(std::string_view given, std::string_view expected);

// Whether an Origin header ("https://vela.example", "http://127.0.0.1:8571")
// names the server that the request's Host header names: http or https, the same
// host and port (a default port may be left out on either side), letters in any
// case. "null" and anything else are not the server's own. Behind a proxy that
// ends TLS the browser's origin is https while the server is reached over http:
// the scheme is not compared, the proxy must pass the Host on.
bool OriginIsHost(std::string_view origin, std::string_view host);
// The same for a Referer header: its address lies on the server named by `host`.
bool RefererIsHost(std::string_view referer, std::string_view host);

}  // namespace vela
