#pragma once

#include "cli_options.h"
#include "console.h"

namespace vela {

class Database;

// Exit codes of the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSchemeFailed = 1;  // a scheme (or the test) failed; the rest ran
inline constexpr int kExitUsage = 2;         // usage, database or unknown scheme id

// `run`: monitors every ticked scheme in id order, once or every N seconds, until
// a stop signal.
int RunCommand(const CliOptions& options, Database& db, const Console& console);
// `test SCHEME_ID`: the rule test of a stored scheme; records nothing.
int TestCommand(const CliOptions& options, Database& db, const Console& console);
// `list`: the schemes.
int ListCommand(const CliOptions& options, Database& db, const Console& console);
// `articles`: the newest articles or favourites.
int ArticlesCommand(const CliOptions& options, Database& db, const Console& console);
// `notify test [URL]`: the test message to one channel or every channel; no database.
int NotifyTestCommand(const CliOptions& options, const Console& console);
// `notify flush`: delivers what waits in the outbox of the database's folder.
int NotifyFlushCommand(const CliOptions& options, const Console& console);

}  // namespace vela
