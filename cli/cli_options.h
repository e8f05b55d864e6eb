#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

enum class CliCommand { None, Run, Test, List, Articles, NotifyTest, NotifyFlush };

// What the command line asks for.
struct CliOptions {
    CliCommand command = CliCommand::None;
    std::string databasePath;  // --db; empty: where the window keeps it
    int everySeconds = 0;      // run --every; 0: one cycle
    int jobs = 16;             // run --jobs: schemes checked at once
    int perHost = 2;           // run --per-host: requests to one host name at once
    bool json = false;
    bool quiet = false;
    bool favourites = false;
    int limit = 100;  // articles --limit
    int64_t schemeId = 0;
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

CliParse ParseCliOptions(int argc, const char* const* argv);

}  // namespace vela
