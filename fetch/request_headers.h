#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The request header block that HttpFetch sends, built from the caller's header
// lines plus fixed defaults, and its translation into libcurl header lines.

namespace vela {

inline constexpr std::string_view kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The browser identification to send: the value of the caller's "User-Agent:"
// line (found ignoring case), the default agent when there is none. Empty means
// no identification. Never holds a line break.
std::string AgentFromHeaders(std::string_view headers);

// The caller's lines followed by the defaults it does not name anywhere (Accept,
// Referer = `url`, Accept-Language, Content-Type), then the cookie line when
// `cookie` is not empty. Lines are joined with CR LF, without a trailing one.
// A name counts as present wherever it occurs, even inside another line's value.
std::string BuildHeaderBlock(std::string_view headers, std::string_view url,
                             std::string_view cookie);

// The header lines to hand to libcurl for `block`, so that what goes out is the
// block itself plus only Host, Content-Length and one User-Agent line:
//  - a line with an empty value is sent as "Name:" (libcurl would drop it);
//  - libcurl's own Accept, Expect and (with a body) Content-Type are switched off
//    unless the block has a line of that name.
// Lines break at CR LF, and at a lone CR or LF so that no header can carry one.
// Empty lines and lines without ":" cannot be sent as headers and are left out.
std::vector<std::string> CurlHeaderLines(std::string_view block, bool sendsBody);

// Whether `lines` (as CurlHeaderLines gives them) hold a header called `name`,
// compared ignoring ASCII case.
bool HasHeaderLine(const std::vector<std::string>& lines, std::string_view name);

// `lines` without the headers called `name` (ignoring ASCII case).
std::vector<std::string> WithoutHeaderLines(const std::vector<std::string>& lines,
                                            std::string_view name);

}  // namespace vela
