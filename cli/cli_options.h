#pragma once

#include <cstdint>
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
    NotifyFlush
};

// What the command line asks for.
struct CliOptions {
    CliCommand command = CliCommand::None;
    std::string databasePath;  // --db; empty: where the window keeps it
    int everySeconds = 0;      // run and serve --every; 0: one cycle (run), none (serve)
    int jobs = 200;            // run --jobs: schemes checked at once (kDefaultCheckJobs)
    int perHost = 2;           // run --per-host: requests to one host name at once
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
