#pragma once

#include <string>

namespace vela {

// Keeps two programs from checking schemes of one database file at the same moment.
// The window's worker and the headless runner each hold it for the span of one
// scheme's run, so neither judges a page against a marker the other is about to
// move, and no article is stored twice. It is an advisory lock (flock) on a file
// beside the database, "<database>.lock": the database file itself is never opened
// a second time, since closing any other descriptor of it would drop SQLite's own
// locks. Each RunLock opens the file anew, so two in one process exclude each other
// as well.
class RunLock {
public:
    explicit RunLock(std::string databasePath);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // One attempt, without waiting. True when the lock is held now; also true when
    // the lock file can be neither made nor opened (a read-only folder): the runs
    // then go unguarded rather than not at all.
    bool TryLock();
    void Unlock();

private:
    std::string path_;
    int fd_ = -1;
};

// "<database>.lock".
std::string RunLockPath(const std::string& databasePath);

}  // namespace vela
