#pragma once

#include <functional>
#include <string>

#include "fetch/http_fetch.h"
#include "monitor_timings.h"
#include "scheme.h"

namespace vela {

// A page as a scheme's check fetches it, with what the answer said of its type.
struct FetchedPage {
    std::string body;  // the bytes as they came, whatever the status
    // The final answer's Content-Type, for the page's encoding; empty when none.
    std::string contentType;
    FetchFailure failure = FetchFailure::kNone;  // why the page is missing or cut
    std::string failureText;                     // the same in English, naming the limit
};

// Fetches `scheme`'s address as its check does: a GET with the scheme's cookie and
// browser identification, its characters beyond ASCII percent-encoded in the
// scheme's encoding, the limits of `timings`, and `stopRequested` asked while it
// runs. The one fetch of the runner, the rule test, the window and the proposer.
FetchedPage FetchPage(const Scheme& scheme, const MonitorTimings& timings,
                      std::function<bool()> stopRequested);

}  // namespace vela
