#include "fetch/http_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "fetch/cookies.h"
#include "fetch/curl_handles.h"
#include "fetch/gbk_search.h"
#include "fetch/request_headers.h"
#include "fetch/response_header.h"
#include "fetch/url_parts.h"

namespace vela {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{100};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return GbkAsciiLower(text.substr(0, prefix.size())) == prefix;
}

// Where one request goes.
struct Target {
    bool secure = false;
    std::string host;
    int port = 0;
    std::string path;  // the object path, query and fragment included
};

bool HasControlByte(std::string_view s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// A "name://" in front that is not http or https.
bool HasOtherScheme(std::string_view address) {
    const std::size_t sep = address.find("://");
    if (sep == std::string_view::npos || sep == 0) return false;
    const std::string_view scheme = address.substr(0, sep);
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const auto c = static_cast<unsigned char>(scheme[i]);
        const bool alpha = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!alpha && !(i > 0 && other)) return false;  // not a scheme: part of a host or path
    }
    const std::string lower = GbkAsciiLower(scheme);
    return lower != "http" && lower != "https";
}

// The target of `address`, or nothing when no request can be made of it. A CR or
// LF would let the address write header lines of its own (it is repeated in the
// Referer line), so control characters are refused with the rest.
std::optional<Target> TargetOf(std::string_view address) {
    if (HasControlByte(address) || HasOtherScheme(address)) return std::nullopt;
    Target t;
    t.secure = StartsWithNoCase(address, "https://");
    t.host = UrlHost(address);
    t.port = UrlPort(address);
    t.path = UrlPath(address);
    if (t.host.empty() || t.port < 1 || t.port > 65535) return std::nullopt;
    return t;
}

// Host names that can be handed to libcurl without it reading them as more than a
// host (user info, a second port, a path). Anything else cannot be resolved.
bool IsPlainHost(std::string_view host) {
    for (unsigned char c : host) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

// Spaces would end the request target; they go out percent-encoded, as browsers
// send them.
std::string EncodeSpaces(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == ' ') {
            out.append("%20");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string WithoutFragment(std::string_view path) {
    return std::string(path.substr(0, path.find('#')));
}

// What one request brought back: its header, read as it arrives, and its body.
struct Exchange : ResponseHeader {
    std::string body;
    std::string redirectUrl;
    Clock::time_point lastByte;
    std::size_t maxBody = 0;
    bool bodyLimitReached = false;
    FetchFailure failure = FetchFailure::kNone;
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    ex.lastByte = Clock::now();
    return ReadHeaderLine(ex, std::string_view(data, length)) ? length : 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    ex.lastByte = Clock::now();
    const std::size_t room = ex.maxBody - ex.body.size();
    try {
        ex.body.append(data, std::min(length, room));
    } catch (const std::bad_alloc&) {
        return 0;  // ends the transfer; what came so far is kept
    }
    if (length <= room) return length;
    ex.bodyLimitReached = true;
    return 0;
}

struct HopRequest {
    Target target;
    std::string requestTarget;  // the object path as it goes on the request line
    int method = kHttpGet;
    const std::string* body = nullptr;  // for POST and HEAD; null = none
    const std::vector<std::string>* headerLines = nullptr;
    std::string agent;  // sent only when the header lines hold no User-Agent
    std::string proxy;  // empty = direct
};

bool Stopped(const FetchOptions& options) {
    return options.stopRequested && options.stopRequested();
}

bool IsTlsError(CURLcode code) {
    switch (code) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
            return true;
        default:
            return false;
    }
}

// What the outcome `code` of a finished transfer means for the page.
FetchFailure FailureOf(CURLcode code, const Exchange& ex) {
    if (ex.bodyLimitReached) return FetchFailure::kSizeLimit;
    if (ex.headerComplete && (code == CURLE_OK || ex.endAtHeader)) return FetchFailure::kNone;
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return FetchFailure::kNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return FetchFailure::kConnectionRefused;
        case CURLE_OPERATION_TIMEDOUT:
            return FetchFailure::kConnectTimeout;
        default:
            if (IsTlsError(code)) return FetchFailure::kTls;
            return ex.headerComplete ? FetchFailure::kCutShort : FetchFailure::kNoResponse;
    }
}

// Performs one request without following a redirect; gives up at `deadline`.
Exchange Perform(const HopRequest& hop, const FetchOptions& options, Clock::time_point deadline) {
    Exchange ex;
    ex.maxBody = options.maxBodyBytes;
    ex.failure = FetchFailure::kNameNotResolved;  // a name no lookup could resolve
    if (!IsPlainHost(hop.target.host)) return ex;
    ex.failure = FetchFailure::kNoResponse;

    curl::Transfer transfer;
    curl::HeaderList headers(*hop.headerLines);
    if (!transfer.ok() || !headers.ok()) return ex;
    CURL* h = transfer.easy();

    const std::string url = std::string(hop.target.secure ? "https://" : "http://") +
                            hop.target.host + ":" + std::to_string(hop.target.port) +
                            EncodeSpaces(WithoutFragment(hop.requestTarget));
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(h, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, url.c_str());
    // The object path exactly as built, a fragment included. An HTTP proxy needs
    // the absolute address, which it parses itself: there without the fragment.
    const bool viaProxy = !hop.proxy.empty() && !hop.target.secure;
    const std::string requestTarget =
        viaProxy ? "http://" + hop.target.host +
                       (hop.target.port == 80 ? "" : ":" + std::to_string(hop.target.port)) +
                       EncodeSpaces(WithoutFragment(hop.requestTarget))
                 : EncodeSpaces(hop.requestTarget);
    set(CURLOPT_REQUEST_TARGET, requestTarget.c_str());
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);  // redirects are followed by HttpFetch itself
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    set(CURLOPT_NOSIGNAL, 1L);
    // Ending a transfer must not wait for a name lookup that hangs (a DNS outage):
    // the resolver thread is left to finish on its own.
    set(CURLOPT_QUICK_EXIT, 1L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    set(CURLOPT_HTTPHEADER, headers.get());
    if (!HasHeaderLine(*hop.headerLines, "User-Agent") && !hop.agent.empty()) {
        set(CURLOPT_USERAGENT, hop.agent.c_str());
    }
    // An empty proxy switches off the proxy variables of the environment too.
    set(CURLOPT_PROXY, hop.proxy.c_str());
    set(CURLOPT_NOPROXY, "");
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HEADERFUNCTION, &OnHeader);
    set(CURLOPT_HEADERDATA, &ex);
    set(CURLOPT_WRITEFUNCTION, &OnBody);
    set(CURLOPT_WRITEDATA, &ex);
    if (hop.body) {
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(hop.body->size()));
        set(CURLOPT_POSTFIELDS, hop.body->data());
        if (hop.method == kHttpHead) {
            // libcurl sends no body with CURLOPT_NOBODY. So the body is posted
            // under the verb HEAD, and the transfer ends with the response header:
            // a HEAD answer announces a length it never sends.
            set(CURLOPT_CUSTOMREQUEST, "HEAD");
            ex.endAtHeader = true;
        }
    } else if (hop.method == kHttpHead) {
        set(CURLOPT_NOBODY, 1L);
    }
    if (!ok || !transfer.Start()) return ex;

    CURLM* multi = transfer.multi();
    ex.lastByte = Clock::now();
    bool connected = false;
    curl_off_t sent = 0;
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi, &running);
    ex.failure = FetchFailure::kNone;
    while (mc == CURLM_OK && running > 0) {
        if (Stopped(options)) {
            ex.failure = FetchFailure::kStopped;
            break;
        }
        const auto now = Clock::now();
        // The silence that counts starts when the connection is up; before that
        // the connect time-out rules. Bytes going out count as life too.
        curl_off_t pretransfer = 0, uploaded = 0;
        curl_easy_getinfo(h, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        if ((!connected && pretransfer > 0) || uploaded != sent) {
            connected = connected || pretransfer > 0;
            sent = uploaded;
            ex.lastByte = now;
        }
        if (connected && now - ex.lastByte > options.stallTimeout) {
            ex.failure = FetchFailure::kStalled;
            break;
        }
        if (now >= deadline) {
            ex.failure = FetchFailure::kTimeLimit;
            break;
        }
        mc = curl_multi_poll(multi, nullptr, 0, static_cast<int>(kPollInterval.count()), nullptr);
        if (mc == CURLM_OK) mc = curl_multi_perform(multi, &running);
    }
    if (mc != CURLM_OK) {
        ex.failure = FetchFailure::kNoResponse;
    } else if (running == 0) {
        CURLcode code = CURLE_OK;
        int queued = 0;
        while (const CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) code = msg->data.result;
        }
        ex.failure = FailureOf(code, ex);
    }
    if (running == 0 && ex.headerComplete) {
        const char* location = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location) {
            ex.redirectUrl = location;
        }
    }
    return ex;
}

bool IsFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string HttpFetch(HttpFetchParams& p, const FetchOptions& options) {
    const int method = p.method == kHttpPost || p.method == kHttpHead ? p.method : kHttpGet;
    // Blanks around a pasted address (a full-width one too) are not part of it.
    const std::string url = GbkTrim(p.url);
    const std::optional<Target> first = TargetOf(url);
    if (!first) {
        p.failure = FetchFailure::kAddress;
        return {};
    }
    if (Stopped(options)) {
        p.failure = FetchFailure::kStopped;
        return {};
    }

    const std::string agent = AgentFromHeaders(p.headers);
    p.headers = BuildHeaderBlock(p.headers, url, p.cookie.value_or(std::string()));
    if (method != kHttpGet && p.postBytes.empty()) p.postBytes = p.postText;

    // The proxy of an https address carries every request; that of an http address
    // only http requests, so a redirect to https leaves it.
    const auto proxyFor = [&](const Target& t) {
        return first->secure || !t.secure ? p.proxy : std::string();
    };
    HopRequest hop;
    hop.target = *first;
    hop.requestTarget = first->path;
    hop.method = method;
    hop.body = method != kHttpGet && !(method == kHttpHead && p.postBytes.empty()) ? &p.postBytes
                                                                                   : nullptr;
    const std::vector<std::string> lines = CurlHeaderLines(p.headers, hop.body != nullptr);
    // What goes to another site: the cookie is the scheme's login on its own site.
    const std::vector<std::string> foreignLines = WithoutHeaderLines(lines, "Cookie");
    hop.headerLines = &lines;
    hop.agent = agent;
    hop.proxy = proxyFor(hop.target);

    const Clock::time_point deadline = Clock::now() + options.totalTimeout;
    Exchange ex = Perform(hop, options, deadline);
    FetchFailure failure = ex.failure;
    for (int redirects = 0;
         !p.noRedirect && IsFollowedRedirect(ex.status) && !ex.redirectUrl.empty(); ++redirects) {
        // A redirect that cannot be followed is itself the answer; `failure` says why.
        if (redirects >= options.maxRedirects) {
            failure = FetchFailure::kTooManyRedirects;
            break;
        }
        const std::optional<Target> next = TargetOf(ex.redirectUrl);
        if (!next || !IsPlainHost(next->host)) {
            failure = HasOtherScheme(ex.redirectUrl) ? FetchFailure::kRedirectScheme
                                                     : FetchFailure::kRedirectTarget;
            break;
        }
        if (Stopped(options)) {
            failure = FetchFailure::kStopped;
            break;
        }
        if (Clock::now() >= deadline) {
            failure = FetchFailure::kTimeLimit;
            break;
        }
        const bool toGet = (ex.status == 303 && hop.method != kHttpHead) ||
                           ((ex.status == 301 || ex.status == 302) && hop.method == kHttpPost);
        if (toGet) {
            hop.method = kHttpGet;
            hop.body = nullptr;
        }
        hop.target = *next;
        hop.requestTarget = WithoutFragment(next->path);
        hop.proxy = proxyFor(hop.target);
        hop.headerLines = IsHostWithin(next->host, first->host) ? &lines : &foreignLines;
        ex = Perform(hop, options, deadline);
        failure = ex.failure;
    }
    p.failure = failure;

    p.responseHeaders = ResponseHeaderText(ex);
    p.responseCookies = CollectResponseCookies(p.responseHeaders);
    if (p.cookie) p.responseCookies = MergeCookies(*p.cookie, p.responseCookies);
    if (!ex.headerComplete) return {};
    return std::move(ex.body);
}

namespace {

// A byte count in the largest whole unit that fits.
std::string SizeText(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0) {
        return std::to_string(bytes >> 20) + " MiB";
    }
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::string SecondsText(std::chrono::milliseconds limit) {
    if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " s";
    return std::to_string(limit.count()) + " ms";
}

}  // namespace

std::string FetchFailureText(FetchFailure failure, const FetchOptions& options) {
    switch (failure) {
        case FetchFailure::kNone:
            return {};
        case FetchFailure::kAddress:
            return "no request can be made of the address";
        case FetchFailure::kStopped:
            return "stopped";
        case FetchFailure::kNameNotResolved:
            return "name not resolved";
        case FetchFailure::kConnectionRefused:
            return "connection refused";
        case FetchFailure::kConnectTimeout:
            return "no connection within " + SecondsText(options.connectTimeout);
        case FetchFailure::kTls:
            return "TLS/certificate failure";
        case FetchFailure::kNoResponse:
            return "no HTTP answer";
        case FetchFailure::kCutShort:
            return "connection ended before the whole page arrived";
        case FetchFailure::kStalled:
            return "time limit (" + SecondsText(options.stallTimeout) + " without a byte)";
        case FetchFailure::kTimeLimit:
            return "time limit (" + SecondsText(options.totalTimeout) + " in all)";
        case FetchFailure::kSizeLimit:
            return "size limit reached (" + SizeText(options.maxBodyBytes) + ")";
        case FetchFailure::kTooManyRedirects:
            return "too many redirects (more than " + std::to_string(options.maxRedirects) + ")";
        case FetchFailure::kRedirectScheme:
            return "redirect to a scheme that is not http/https";
        case FetchFailure::kRedirectTarget:
            return "redirect to an address no request can be made of";
        case FetchFailure::kBrowser:
            return "the browser could not render the page";
    }
    return {};
}

}  // namespace vela
