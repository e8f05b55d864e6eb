#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// One HTTP(S) request on libcurl: the page a scheme watches, fetched with the
// program's own header block and its own cookie handling (no cookie engine, no
// cache, HTTP/1.1, http and https only).

namespace vela {

// Request method codes; any other value is taken as kHttpGet.
enum HttpMethod : int { kHttpGet = 0, kHttpPost = 1, kHttpHead = 2 };

// Why a fetch brought no page, or only part of one. The body that did arrive is
// returned all the same; this says what cut it short.
enum class FetchFailure {
    kNone,
    kAddress,            // no request can be made of the address
    kStopped,            // a stop ended the call
    kNameNotResolved,    // the host name has no address
    kConnectionRefused,  // refused, or the host is unreachable
    kConnectTimeout,     // the connection did not come up in time
    kTls,                // the TLS handshake or the certificate check failed
    kNoResponse,         // the server closed or answered something that is not HTTP
    kCutShort,           // the connection ended in the middle of the body
    kStalled,            // no byte arrived for the stall time-out
    kTimeLimit,          // the whole call took longer than its limit
    kSizeLimit,          // the body grew past its limit and was cut there
    kTooManyRedirects,   // still redirected after the redirect limit
    kRedirectScheme,     // redirected to a scheme other than http and https
    kRedirectTarget,     // redirected to an address no request can be made of
    kBrowser,            // the browser that renders the page failed (browser_render.h)
};

// The in, in/out and out values of one HttpFetch call. Every text is GBK.
struct HttpFetchParams {
    std::string url;        // in: the address; without a scheme it is http
    int method = kHttpGet;  // in
    std::string postText;   // in: body for POST and HEAD when postBytes is empty
    // in/out: cookie text to send. Present (even empty) means the response's
    // cookies are merged into it afterwards; absent means no cookie handling.
    std::optional<std::string> cookie;
    std::string responseCookies;  // out: cookies the response set (merged when cookie is present)
    std::string headers;          // in/out: extra lines joined by CR LF; receives the block sent
    // out: raw header lines of the final response, each ended by CR LF, or 5000
    // spaces when there were none or they did not fit in 5000 bytes
    std::string responseHeaders;
    bool noRedirect = false;  // in: true = a redirect response is the answer
    std::string postBytes;    // in/out: body for POST and HEAD; filled from postText when empty
    std::string proxy;        // in: "host:port" of an HTTP proxy; empty = direct
    FetchFailure failure = FetchFailure::kNone;  // out: set by every call
};

// How long a transfer may take and when to give it up.
struct FetchOptions {
    // Asked about every 100 ms while a transfer runs, and before each request; true
    // ends the transfer. The monitoring loop passes its stop and shutdown flags.
    std::function<bool()> stopRequested;
    std::chrono::milliseconds connectTimeout{60'000};
    // A transfer that receives no byte for this long is ended.
    std::chrono::milliseconds stallTimeout{60'000};
    // The whole call, redirects included, ends after this long like a stall: a
    // server trickling a byte now and then cannot hold a check for ever.
    std::chrono::milliseconds totalTimeout{120'000};
    // A body that grows beyond this is cut there.
    std::size_t maxBodyBytes = std::size_t{32} << 20;
    int maxRedirects = 20;
};

// Performs the request and returns the response body, whatever the status (the
// body of a 404 page comes back like any other); empty when there is none.
//
//  - An address no request can be made of (no host, port 0 or above 65535, a
//    scheme other than http or https, a control character): returns empty and
//    changes none of the in/out or out values but `failure`. So does a stop
//    requested before the call.
//  - A request that fails before a complete response header (refused, DNS, TLS,
//    connect time-out, no answer): `headers` holds the block, the body is empty,
//    `responseHeaders` is 5000 spaces, and the cookie steps still run.
//  - A transfer cut short after the header (peer closed, stall, stop, body
//    limit): the bytes received so far are the body.
// Redirects (also http to https) are followed unless `noRedirect`; the headers
// given are sent again to the new address, but the cookie lines only while its
// host is the address's own host or a subdomain of it: a login never reaches
// another site through an open redirect. A redirect that cannot be followed (the
// limit reached, another scheme, an address without a request) is the answer.
// `failure` says why the page is missing or incomplete; a response with any
// status is no failure.
std::string HttpFetch(HttpFetchParams& params, const FetchOptions& options = {});

// What `failure` means, in a few English words that name the limit at work
// ("size limit reached (32 MiB)"); empty for kNone.
std::string FetchFailureText(FetchFailure failure, const FetchOptions& options);

}  // namespace vela
