#include "page_proposal.h"

#include "engine/page_fetch.h"
#include "fetch/encoding.h"
#include "fetch/page_charset.h"

namespace vela {

Proposal ProposePage(ProposeInput input, const ProposeFunction& propose) {
    if (input.encoding == PageEncoding::kDetect) {
        input.encoding =
            PageIsGbk(input.contentType, input.page) ? PageEncoding::kGbk : PageEncoding::kUtf8;
    }
    Proposal proposal = propose(input);
    // The encoding decided here is the one the page was read in.
    proposal.gbk = input.encoding == PageEncoding::kGbk;
    return proposal;
}

AddressProposal ProposeAddress(ProposeInput input, bool gbkAddress, const MonitorTimings& timings,
                               std::function<bool()> stopRequested,
                               const ProposeFunction& propose) {
    Scheme scheme;
    scheme.url = Utf8ToGbk(input.url);
    scheme.gbk = gbkAddress;
    scheme.cookie = input.cookie;
    scheme.userAgent = input.userAgent;
    FetchedPage page = FetchPage(scheme, timings, std::move(stopRequested));
    AddressProposal result;
    result.stopped = page.failure == FetchFailure::kStopped;
    result.failure = page.failure;
    result.failureText = std::move(page.failureText);
    // A failure with no byte is no page; an empty answer is one, without a list.
    result.gotPage = !result.stopped && (!page.body.empty() || page.failure == FetchFailure::kNone);
    if (!result.gotPage) return result;
    input.page = std::move(page.body);
    input.contentType = std::move(page.contentType);
    result.proposal = ProposePage(std::move(input), propose);
    return result;
}

}  // namespace vela
