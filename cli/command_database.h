#pragma once

#include <string>

namespace vela {

class Database;

// The folder that holds the running program, from /proc/self/exe; empty when it
// cannot be read.
std::string ExecutableDir();

// The path of the database a command works on: `explicitPath` (--db), or the file
// the window uses. Empty, with one line in `error`, when there is no place for it.
std::string CommandDatabasePath(const std::string& explicitPath, std::string& error);

// Opens the database a command works on: `explicitPath` (--db), or the file the
// window uses, found by the same decision. A command never creates it. False, with
// one line in `error`, when the file is missing, unreadable, or holds no tables
// of this program.
bool OpenCommandDatabase(const std::string& explicitPath, Database& db, std::string& error);

}  // namespace vela
