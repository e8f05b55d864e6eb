#include "propose_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "commands.h"
#include "console_text.h"
#include "engine/scheme_file.h"
#include "engine/scheme_file_text.h"
#include "fetch/file_bytes.h"
#include "fetch/url_parts.h"
#include "output_file.h"
#include "stop_signal.h"

namespace vela {
namespace {

using json = nlohmann::ordered_json;

// A candidate's list shows this many titles.
constexpr std::size_t kTitlesShown = 3;

// A text typed on the command line (UTF-8) as the GBK a scheme holds, exactly;
// nullopt, after naming the character that has no GBK code, otherwise.
std::optional<std::string> TypedGbk(const std::string& option, const std::string& utf8,
                                    const Console& console) {
    std::string culprit;
    std::optional<std::string> gbk = ExactGbk(utf8, culprit);
    if (!gbk) PrintError(console, option + ": " + culprit + " has no GBK code");
    return gbk;
}

// The bytes of a saved page, refused past the size a fetch would keep.
bool ReadPageFile(const std::string& path, std::size_t limit, std::string& bytes,
                  std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    const int readErrno = ReadUpTo(fd, limit + 1, bytes);
    ::close(fd);
    if (readErrno != 0) {
        error = "cannot read " + path + ": " + std::strerror(readErrno);
        return false;
    }
    if (bytes.size() > limit) {
        error = path + ": larger than a page may be (" + std::to_string(limit >> 20) + " MiB)";
        return false;
    }
    return true;
}

double ShownScore(double score) { return std::round(score * 100) / 100; }

// The candidate as a scheme file of one [[scheme]] table, ticked like an import.
SchemeFileText CandidateFile(const Candidate& candidate) {
    SchemeSave save;
    save.form = SchemeFormOf(candidate.scheme);
    return WriteSchemeFile({save});
}

void PrintList(const Proposal& proposal, const Console& console) {
    for (std::size_t i = 0; i < proposal.candidates.size(); ++i) {
        const Candidate& c = proposal.candidates[i];
        std::fprintf(console.out, "%zu\t%zu articles\tscore %.2f\n", i + 1, c.items.size(),
                     ShownScore(c.score));
        for (std::size_t k = 0; k < c.items.size() && k < kTitlesShown; ++k) {
            std::fprintf(console.out, "\t%s\n", ConsoleField(c.items[k].title).c_str());
        }
        if (c.items.size() > kTitlesShown) {
            std::fprintf(console.out, "\t… %zu more\n", c.items.size() - kTitlesShown);
        }
    }
    std::fflush(console.out);
}

// `url` is UTF-8.
void PrintJson(const std::string& url, const Proposal& proposal, const Console& console) {
    json candidates = json::array();
    for (std::size_t i = 0; i < proposal.candidates.size(); ++i) {
        const Candidate& c = proposal.candidates[i];
        json items = json::array();
        for (const ProposedItem& item : c.items) {
            items.push_back({{"title", ConsoleText(item.title)}, {"link", ConsoleText(item.link)}});
        }
        const SchemeFileText file = CandidateFile(c);
        if (!file.ok) PrintError(console, "candidate " + std::to_string(i + 1) + ": " + file.error);
        candidates.push_back({{"rank", i + 1},
                              {"score", ShownScore(c.score)},
                              {"items", std::move(items)},
                              {"scheme", file.ok ? json(file.text) : json(nullptr)}});
    }
    const json document = {{"url", url},
                           {"encoding", proposal.gbk ? "gbk" : "utf-8"},
                           {"candidates", std::move(candidates)}};
    std::fprintf(console.out, "%s\n",
                 document.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    std::fflush(console.out);
}

// Writes candidate --pick as a scheme file, to -o's file or standard output.
int WritePicked(const CliOptions& options, const Proposal& proposal, const Console& console) {
    const auto pick = static_cast<std::size_t>(options.pick);
    if (pick > proposal.candidates.size()) {
        PrintError(console, "--pick " + std::to_string(pick) + ": the page has " +
                                std::to_string(proposal.candidates.size()) +
                                " candidate(s); nothing written");
        return kExitSchemeFailed;
    }
    const SchemeFileText file = CandidateFile(proposal.candidates[pick - 1]);
    if (!file.ok) {
        PrintError(console, file.error);
        return kExitSchemeFailed;
    }
    if (options.outputPath == "-") {
        std::fputs(file.text.c_str(), console.out);
        std::fflush(console.out);
        return kExitOk;
    }
    // Only the user may read it: the cookie is often a login.
    std::string error;
    if (!WriteOutputFile(options.outputPath, file.text, FileMode::Owner, error)) {
        PrintError(console, error);
        return kExitSchemeFailed;
    }
    return kExitOk;
}

}  // namespace

int ProposeCommand(const CliOptions& options, const Console& console,
                   const ProposeFunction& propose) {
    ProposeInput input;
    const auto url = TypedGbk("URL", options.url, console);
    const auto cookie = TypedGbk("--cookie", options.cookie, console);
    const auto agent =
        TypedGbk("--user-agent", options.userAgent.value_or(kDefaultUserAgent), console);
    if (!url || !cookie || !agent) return kExitUsage;
    if (!IsHttpLink(*url)) {
        PrintError(console, "'" + options.url + "' is not an http or https address");
        return kExitUsage;
    }
    // The proposer takes the address as typed, in UTF-8.
    input.url = options.url;
    input.cookie = *cookie;
    input.userAgent = *agent;
    input.maxCandidates = static_cast<std::size_t>(options.candidates);
    if (options.browser) input.fetch = FetchMode::kBrowser;
    if (!options.encoding.empty()) {
        input.encoding = options.encoding == "gbk" ? PageEncoding::kGbk : PageEncoding::kUtf8;
    }

    const MonitorTimings timings;
    Proposal proposal;
    if (!options.pagePath.empty()) {
        std::string error;
        if (!ReadPageFile(options.pagePath, timings.bodyLimitBytes, input.page, error)) {
            PrintError(console, error);
            return kExitSchemeFailed;
        }
        proposal = ProposePage(std::move(input), propose);
    } else {
        // An address beyond ASCII goes out as UTF-8 unless the page is said to be GBK.
        const bool gbkAddress = input.encoding == PageEncoding::kGbk;
        AddressProposal fetched =
            ProposeAddress(std::move(input), gbkAddress, timings, StopRequested, propose);
        if (fetched.stopped) {
            EndByStopSignal();
            return kExitSchemeFailed;
        }
        if (!fetched.gotPage) {
            PrintError(console, "cannot fetch " + ConsoleField(*url) + ": " + fetched.failureText);
            return kExitSchemeFailed;
        }
        // A cut page is still looked at, as a check judges it.
        if (!fetched.failureText.empty()) {
            PrintError(console, ConsoleField(*url) + ": " + fetched.failureText);
        }
        proposal = std::move(fetched.proposal);
    }
    const auto most = static_cast<std::size_t>(options.candidates);
    if (proposal.candidates.size() > most) proposal.candidates.resize(most);

    const bool toStandardOutput = options.outputPath == "-";
    if (options.json) {
        PrintJson(options.url, proposal, console);
    } else if (!toStandardOutput) {
        PrintList(proposal, console);
    }
    if (proposal.candidates.empty()) {
        PrintError(console,
                   ConsoleField(*url) + ": " +
                       (proposal.error.empty() ? "no list of articles found" : proposal.error));
        return kExitSchemeFailed;
    }
    return options.outputPath.empty() ? kExitOk : WritePicked(options, proposal, console);
}

}  // namespace vela
