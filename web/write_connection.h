#pragma once

#include <mutex>
#include <string>

namespace vela {

class Database;

// The one writable connection of the web view's actions (ticks, removals, a
// check run now), beside the read-only connections of the pages. Its owner opens
// it with the runner's busy wait for SQLite's lock; the actions take it one at a
// time, so one action's transaction never meets another's on the same connection.
class WriteConnection {
public:
    explicit WriteConnection(Database& db) : db_(db) {}
    WriteConnection(const WriteConnection&) = delete;
    WriteConnection& operator=(const WriteConnection&) = delete;

    // Held for the whole of one action.
    std::unique_lock<std::mutex> Hold() { return std::unique_lock(mutex_); }
    // Under Hold().
    Database& Db() { return db_; }
    // Empty when the file can be written; otherwise why not (the database is not
    // open, or the file or its folder is read-only).
    std::string WriteProblem() const;

private:
    Database& db_;
    std::mutex mutex_;
};

}  // namespace vela
