#pragma once

#include <string>
#include <string_view>

// The parts of a page address that a request is made of. An address may come
// without a scheme ("example.com/list"), in which case it is http.

namespace vela {

// The host, lower-cased; with `keepPort` the ":port" after it stays.
std::string UrlHost(std::string_view address, bool keepPort = false);

// The port after the host (leading digits, full-width digits counted; 0 when there
// are none), else 443 for an https address and 80 for any other.
int UrlPort(std::string_view address);

// Everything from the first "/" after the host to the end, query and fragment
// included, letter case as given; "/" when there is nothing after the host.
std::string UrlPath(std::string_view address);

// Whether a request to `host` belongs to the site of `own` (both as UrlHost gives
// them): the same host, or a subdomain of a host name, as a browser decides where
// a cookie goes. An address (all digits and dots) has no subdomains.
bool IsHostWithin(std::string_view host, std::string_view own);

// Whether `link` may become a clickable link: an http or https address (the
// scheme in any case) that names a host. Neither javascript:, data: nor a relative
// path is one, and neither is "http://" with nothing, or only a path, after it.
bool IsHttpLink(std::string_view link);

// The address a request is made of: blanks around it trimmed and every non-ASCII
// character after the host percent-encoded, as UTF-8 when `utf8` (the address is
// GBK text) and as its GBK bytes otherwise. ASCII, "%XX" included, stays as it is.
std::string RequestAddress(std::string_view address, bool utf8);

}  // namespace vela
