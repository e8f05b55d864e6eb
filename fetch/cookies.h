#pragma once

#include <string>
#include <string_view>

// Cookies kept as plain text, the way HttpFetch hands them back and forth: items
// separated by ";" when read, joined with "; " when written. An item is carried as
// a whole; only its name is ever looked at. No expiry, domain or path is kept.

namespace vela {

// The part of `item` before its first "=" (the whole item without one), trimmed.
std::string CookieName(std::string_view item);

// Keeps only the first occurrence of each piece of `text` split at `separator`
// and joins them with it again.
std::string DedupeItems(std::string_view text, std::string_view separator);

// The cookie items set by raw response headers, joined with "; ". Expects every
// letter case of "Set-Cookie" already written as "Set-Cookie". Attributes after
// the first ";" of a line (path, expiry, domain) are dropped.
std::string CollectResponseCookies(std::string_view headers);

// Merges the cookies a response set (`received`) into the cookies that were sent.
// Both are first stripped of every space (ASCII and full-width) in place. The result
// lists the received items first, in their order, then the sent items whose name
// the response did not set; items ending in "=deleted" are dropped, repeated items
// kept once. `sent` receives the result, which is also returned.
std::string MergeCookies(std::string& sent, std::string& received);

}  // namespace vela
