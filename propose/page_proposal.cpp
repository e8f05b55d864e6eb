#include "page_proposal.h"

#include "engine/browser_fetch.h"
#include "engine/page_fetch.h"
#include "engine/scheme_run.h"
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

namespace {

// A render's report: asked only whether to stop.
class StopReport : public RunReport {
public:
    explicit StopReport(std::function<bool()> stop) : stop_(std::move(stop)) {}
    bool Stopped() override { return stop_ && stop_(); }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int) override {}

private:
    std::function<bool()> stop_;
};

// ProposeAddress of a page rendered by the browser: its document is UTF-8
// whatever the page's own encoding, and every candidate renders it again.
AddressProposal ProposeRendered(ProposeInput input, Scheme scheme, const MonitorTimings& timings,
                                std::function<bool()> stopRequested,
                                const ProposeFunction& propose) {
    scheme.fields.fetch = FetchMode::kBrowser;
    StopReport report(std::move(stopRequested));
    SchemeRun run;
    std::string statusLine;
    std::string page = RenderSchemePage(scheme, timings, report, run, statusLine);
    AddressProposal result;
    result.stopped = report.Stopped();
    result.failure = run.fetchFailure;
    result.failureText = run.fetchFailureText;
    result.gotPage = !result.stopped && !page.empty();
    if (!result.gotPage) return result;
    input.page = std::move(page);
    input.contentType.clear();
    input.encoding = PageEncoding::kUtf8;
    result.proposal = ProposePage(std::move(input), propose);
    for (Candidate& candidate : result.proposal.candidates) {
        candidate.scheme.fields.fetch = FetchMode::kBrowser;
    }
    return result;
}

}  // namespace

AddressProposal ProposeAddress(ProposeInput input, bool gbkAddress, const MonitorTimings& timings,
                               std::function<bool()> stopRequested,
                               const ProposeFunction& propose) {
    Scheme scheme;
    scheme.url = Utf8ToGbk(input.url);
    scheme.gbk = gbkAddress;
    scheme.cookie = input.cookie;
    scheme.userAgent = input.userAgent;
    if (input.fetch == FetchMode::kBrowser)
        return ProposeRendered(std::move(input), std::move(scheme), timings,
                               std::move(stopRequested), propose);
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
