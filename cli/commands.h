#pragma once

#include <string>
#include <vector>

#include "cli_options.h"
#include "console.h"

namespace vela {

class Database;

// Exit codes of the commands.
inline constexpr int kExitOk = 0;
// A scheme (or the test) failed, the rest ran; or an output file (-o) could not be
// written, or a scheme could not go into a scheme file.
inline constexpr int kExitSchemeFailed = 1;
inline constexpr int kExitUsage = 2;  // usage, database or unknown scheme id

// `run`: monitors every ticked scheme in id order, once or every N seconds, until
// a stop signal.
int RunCommand(const CliOptions& options, Database& db, const Console& console);
// What one cycle of `run` did, for a caller that runs the cycles itself.
struct SchemeCheckResult {
    std::string schemeId;
    std::vector<std::string> errors;  // one line each (UTF-8); empty when it went well
};
struct CycleResult {
    bool allRan = true;
    bool readFailed = false;                 // the schemes could not be read; nothing ran
    std::vector<SchemeCheckResult> schemes;  // each scheme that ran to its end
    std::string endedAt;                     // time text of the cycle's end
    // Why the cycle did not start (nothing was fetched): a database that cannot
    // be written, a run lock not to be had, a bad channel. One line.
    std::string obstacle;
};
// One cycle of `run` over the ticked schemes, on the calling thread; a stop
// signal ends it early.
CycleResult RunOneCycle(const CliOptions& options, Database& db, const Console& console);
// What would keep a cycle of `run` from starting, as RunOneCycle checks it before
// fetching anything; empty when nothing would.
std::string RunnerObstacle(const CliOptions& options, Database& db, const Console& console);

// `test SCHEME_ID`: the rule test of a stored scheme; records nothing.
int TestCommand(const CliOptions& options, Database& db, const Console& console);
// `list`: the schemes.
int ListCommand(const CliOptions& options, Database& db, const Console& console);
// `articles`: the newest articles or favourites.
int ArticlesCommand(const CliOptions& options, Database& db, const Console& console);
// `feed`: an Atom document of the newest articles.
int FeedCommand(const CliOptions& options, Database& db, const Console& console);
// `serve`: the web view and the feeds over HTTP, until a stop signal.
int ServeCommand(const CliOptions& options, Database& db, const Console& console);

struct Scheme;
// The rule test of one scheme, printed: region size, every match with its groups.
int PrintRuleTest(const Scheme& scheme, const Console& console);

// `test --file FILE [--scheme N]`: the rule test of a scheme of a file; needs no database.
int TestFileCommand(const CliOptions& options, const Console& console);
// `export [ID...] [-o FILE]`: schemes as a scheme file.
int ExportCommand(const CliOptions& options, Database& db, const Console& console);
// `import FILE [--dry-run]`: checks the whole file, then adds all its schemes or none.
int ImportCommand(const CliOptions& options, Database& db, const Console& console);
// `edit ID`: the scheme in the user's editor, checked and saved when changed.
int EditCommand(const CliOptions& options, Database& db, const Console& console);
// `remove ID`: removes the scheme's row.
int RemoveCommand(const CliOptions& options, Database& db, const Console& console);
// `tick ID...` / `untick ID...`.
int TickCommand(const CliOptions& options, Database& db, const Console& console, bool ticked);
// `notify test [URL]`: the test message to one channel or every channel; no database.
int NotifyTestCommand(const CliOptions& options, const Console& console);
// `notify flush`: delivers what waits in the outbox of the database's folder.
int NotifyFlushCommand(const CliOptions& options, const Console& console);

}  // namespace vela
