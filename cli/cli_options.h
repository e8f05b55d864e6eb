#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vela {

enum class CliCommand {
    None,
    Run,
    Test,
    List,
    Articles,
    Export,
    Import,
    Edit,
    Remove,
    Tick,
    Untick,
    Feed,
    Serve,
    NotifyTest,
    NotifyFlush,
    Propose
};

// The candidates `propose` offers unless told, and at most.
inline constexpr int kDefaultProposeCandidates = 5;
inline constexpr int kMaxProposeCandidates = 50;

// What the command line asks for.
struct CliOptions {
    CliCommand command = CliCommand::None;
    std::string databasePath;  // --db; empty: where the window keeps it
    int everySeconds = 0;      // run and serve --every; 0: one cycle (run), none (serve)
    int jobs = 200;            // run --jobs: schemes checked at once (kDefaultCheckJobs)
    int perHost = 2;           // run --per-host: requests to one host name at once
    bool browser = false;      // propose --browser: the page rendered by the browser
    int renders = 1;           // run --renders: pages rendered by the browser at once
    // run --render-limit: the seconds one page may take in the browser
    int renderLimitSeconds = 20;
    bool json = false;
    bool quiet = false;
    bool favourites = false;
    int limit = 100;  // articles and feed --limit
    int64_t schemeId = 0;
    std::vector<int64_t> schemeIds;   // export, tick, untick, feed --scheme
    std::string file;                 // import FILE, test --file FILE
    int fileScheme = 1;               // test --scheme N: the Nth scheme of the file
    std::string outputPath;           // export -o, feed -o; empty: standard output
    bool dryRun = false;              // import --dry-run
    std::string listen;               // serve --listen ADDRESS:PORT
    std::string token;                // serve --token
    std::string tokenFile;            // serve --token-file FILE
    std::vector<std::string> notify;  // run --notify: channels for this run; notify test URL
    // propose: the page's address (URL, or --url with --page), the saved page,
    // the encoding ("gbk", "utf-8"; empty: found from the page), the cookie and
    // browser identification (absent: the one of a new scheme), UTF-8 as typed.
    std::string url;
    std::string pagePath;
    std::string encoding;
    std::string cookie;
    std::optional<std::string> userAgent;
    int candidates = kDefaultProposeCandidates;  // propose --candidates: how many at most
    int pick = 1;  // propose --pick: the candidate -o writes, counted from 1
};

// The outcome of reading the command line: the options, or the exit code and the
// text to print instead (the usage for --help, one line for an error).
struct CliParse {
    CliOptions options;
    bool proceed = false;
    int exitCode = 0;
    std::string out;    // for standard output (the usage)
    std::string error;  // one line for standard error
};

// Shortest pause between two cycles of `run --every`.
inline constexpr int kMinimumEverySeconds = 10;
// The lists of the window show this many articles.
inline constexpr int kDefaultArticleLimit = 100;
// A feed holds this many entries unless told.
inline constexpr int kDefaultFeedLimit = 50;
// Where `serve` listens unless told: loopback only.
inline constexpr const char* kDefaultListen = "127.0.0.1:8571";

CliParse ParseCliOptions(int argc, const char* const* argv);

}  // namespace vela
