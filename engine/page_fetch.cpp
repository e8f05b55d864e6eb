#include "page_fetch.h"

#include "fetch/page_charset.h"
#include "fetch/url_parts.h"
#include "scheme_run.h"

namespace vela {

FetchedPage FetchPage(const Scheme& scheme, const MonitorTimings& timings,
                      std::function<bool()> stopRequested) {
    HttpFetchParams params;
    // The address as typed stays the scheme's; what goes out has its characters
    // beyond ASCII percent-encoded in the page's own encoding, as a browser sends them.
    params.url = RequestAddress(scheme.url, !scheme.gbk);
    params.method = kHttpGet;
    params.cookie = scheme.cookie;
    params.headers = "User-Agent: " + scheme.userAgent;
    FetchOptions options = FetchLimits(timings);
    options.stopRequested = std::move(stopRequested);
    FetchedPage page;
    page.body = HttpFetch(params, options);
    page.contentType = ContentTypeOf(params.responseHeaders);
    page.failure = params.failure;
    page.failureText = FetchFailureText(params.failure, options);
    return page;
}

}  // namespace vela
