#pragma once

#include <chrono>
#include <string>

namespace vela {

class Database;

// The folder that holds the running program, from /proc/self/exe; empty when it
// cannot be read.
std::string ExecutableDir();

// The path of the database a command works on: `explicitPath` (--db), or the file
// the window uses. Empty, with one line in `error`, when there is no place for it.
std::string CommandDatabasePath(const std::string& explicitPath, std::string& error);

// How long a command waits for SQLite's lock on the database while another program
// holds it (a database viewer's open transaction, another program's commit): as
// long as one check of a page may take (FetchOptions::totalTimeout), so that a
// timer's run outlasts such a hold as its checks outlast a slow server, while a
// lock never let go still ends the run. A stop signal ends the wait at once.
inline constexpr std::chrono::milliseconds kDatabaseLockWait{120'000};

// Says once on standard error, after a second of waiting for SQLite's lock on the
// database, that another program holds it: installed on the command's connection
// with the wait above.
void WaitLongForDatabaseLock(Database& db);

// Opens the database a command works on: `explicitPath` (--db), or the file the
// window uses, found by the same decision. A command never creates it. False, with
// one line in `error`, when the file is missing, unreadable, or holds no tables
// of this program.
bool OpenCommandDatabase(const std::string& explicitPath, Database& db, std::string& error);

}  // namespace vela
