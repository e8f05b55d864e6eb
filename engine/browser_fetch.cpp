#include "browser_fetch.h"

#include "fetch/encoding.h"
#include "fetch/url_parts.h"
#include "scheme_run.h"

namespace vela {
namespace {

// The fetch's own name for a render's failure where there is one, so that what
// reads a run (a cut page is still judged, a stop is no failure) needs no second
// list.
FetchFailure AsFetchFailure(RenderFailure failure) {
    switch (failure) {
        case RenderFailure::kNone:
            return FetchFailure::kNone;
        case RenderFailure::kStopped:
            return FetchFailure::kStopped;
        case RenderFailure::kAddress:
            return FetchFailure::kAddress;
        case RenderFailure::kTimeLimit:
            return FetchFailure::kTimeLimit;
        case RenderFailure::kSizeLimit:
            return FetchFailure::kSizeLimit;
        default:
            return FetchFailure::kBrowser;
    }
}

}  // namespace

RenderOptions RenderLimits(const MonitorTimings& timings) {
    RenderOptions options;
    options.timeLimit = std::chrono::milliseconds(timings.renderLimitMs);
    options.memoryLimitBytes = timings.renderMemoryBytes;
    options.maxBytes = timings.bodyLimitBytes;
    return options;
}

std::string RenderSchemePage(const Scheme& scheme, const MonitorTimings& timings, RunReport& report,
                             SchemeRun& run, std::string& statusLine) {
    RenderRequest request;
    // The same address as the fetch sends: characters beyond ASCII percent-encoded
    // in the page's own encoding.
    request.url = RequestAddress(scheme.url, !scheme.gbk);
    request.userAgent = GbkToUtf8(scheme.userAgent);
    request.cookie = GbkToUtf8(scheme.cookie);
    // A page that does not say its encoding is read as the scheme says, as the
    // fetch reads it.
    request.defaultEncoding = scheme.gbk ? "GBK" : "UTF-8";
    RenderOptions options = RenderLimits(timings);
    options.stopRequested = [&report] { return report.Stopped(); };
    RenderResult result = RenderPage(request, options);
    if (result.failure != RenderFailure::kStopped) {
        run.fetchFailure = AsFetchFailure(result.failure);
        run.fetchFailureText = RenderFailureText(result, options);
        statusLine = RenderFailureStatusText(result, options);
    }
    return std::move(result.page);
}

}  // namespace vela
