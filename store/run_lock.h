#pragma once

#include <string>

namespace vela {

// What one attempt at the run lock found.
enum class RunLockState {
    Held,         // this RunLock holds it now
    Busy,         // another holder has it: try again later
    Unavailable,  // the lock file cannot be opened or locked: runs cannot be guarded
};

// Keeps two programs from checking schemes of one database file at the same moment.
// The window's worker and the headless runner each hold it for the span of one
// scheme's run, so neither judges a page against a marker the other is about to
// move, and no article is stored twice. It is an advisory lock (flock) on a file
// beside the database, "<database>.lock": the database file itself is never opened
// a second time, since closing any other descriptor of it would drop SQLite's own
// locks. Each RunLock opens the file anew, so two in one process exclude each other
// as well.
//
// The lock file sits beside the database's real path (symbolic links and "." or
// ".." resolved), so every path that reaches one file through links or folders
// shares one lock. A second hard link of the file in another folder does not:
// SQLite itself names its journal after the path and cannot guard such a file
// either, so the program does not try to.
class RunLock {
public:
    explicit RunLock(const std::string& databasePath);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // One attempt, without waiting. Held also when already held by this object.
    RunLockState TryLock();
    void Unlock();

    // The lock file; empty when the database has no file (no path, ":memory:").
    const std::string& LockPath() const { return lockPath_; }
    // After Unavailable: the line that says which file and why, e.g.
    // "cannot lock /data/vela.sdb.lock: Permission denied".
    const std::string& Problem() const { return problem_; }
    // After Unavailable: the system's error number behind it.
    int Error() const { return error_; }

private:
    std::string databasePath_;
    std::string lockPath_;
    std::string problem_;
    int error_ = 0;
    int fd_ = -1;
};

// The lock file of `databasePath`: "<real path of the database>.lock". When the
// path cannot be resolved (the file is gone) it is "<databasePath>.lock"; empty for
// a database without a file.
std::string RunLockPath(const std::string& databasePath);

}  // namespace vela
