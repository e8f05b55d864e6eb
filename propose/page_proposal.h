#pragma once

#include <functional>
#include <string>

#include "engine/monitor_timings.h"
#include "fetch/http_fetch.h"
#include "proposal.h"

// The proposal for a page as the runner and the window ask for it: the page read
// from a file or fetched from its address, its encoding found, then the finder.

namespace vela {

// The finder: ProposeSchemes, or a stand-in in a test.
using ProposeFunction = std::function<Proposal(const ProposeInput&)>;

// Proposes for `input.page`; an encoding of kDetect is first found from the
// Content-Type, a byte order mark, <meta charset> or the bytes (PageIsGbk).
Proposal ProposePage(ProposeInput input, const ProposeFunction& propose = ProposeSchemes);

struct AddressProposal {
    bool stopped = false;  // a stop ended the fetch: no proposal
    // Why the page is missing or cut (a cut page is still proposed for), and the
    // same in English naming the limit at work.
    FetchFailure failure = FetchFailure::kNone;
    std::string failureText;
    bool gotPage = false;  // some of the page arrived: the proposal is for it
    Proposal proposal;
};

// Fetches `input.url` (UTF-8, as the proposer takes it) as a scheme's check fetches it (a GET with
// the cookie and browser identification of `input`, the limits of `timings`, `stopRequested` asked
// while it runs), then ProposePage on what arrived. The address's characters beyond ASCII go out as
// GBK when `gbkAddress`, else as UTF-8, as a scheme of that encoding sends them; the page's own
// encoding may still be found from the page.
AddressProposal ProposeAddress(ProposeInput input, bool gbkAddress, const MonitorTimings& timings,
                               std::function<bool()> stopRequested,
                               const ProposeFunction& propose = ProposeSchemes);

}  // namespace vela
