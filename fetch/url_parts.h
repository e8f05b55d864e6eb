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

}  // namespace vela
