#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vela {
namespace {

bool HasFile(const std::string& databasePath) {
    return !databasePath.empty() && databasePath != ":memory:";
}

// The path with every symbolic link, "." and ".." resolved; empty when it cannot be.
std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string real = resolved;
    std::free(resolved);
    return real;
}

}  // namespace

std::string RunLockPath(const std::string& databasePath) {
    if (!HasFile(databasePath)) return {};
    const std::string real = RealPath(databasePath);
    return (real.empty() ? databasePath : real) + ".lock";
}

RunLock::RunLock(const std::string& databasePath) : databasePath_(databasePath) {}

RunLock::~RunLock() { Unlock(); }

RunLockState RunLock::TryLock() {
    if (fd_ >= 0) return RunLockState::Held;
    // No file, nothing another program could share.
    if (!HasFile(databasePath_)) return RunLockState::Held;
    // Resolved at each attempt: the name another program finds is the one that
    // counts, and a database moved meanwhile is then found where it is now.
    const std::string real = RealPath(databasePath_);
    if (real.empty()) {
        const int error = error_ = errno;
        lockPath_ = databasePath_ + ".lock";
        problem_ = "cannot lock " + lockPath_ + ": the database " + databasePath_ +
                   " cannot be found (" + std::strerror(error) + ")";
        return RunLockState::Unavailable;
    }
    lockPath_ = real + ".lock";
    // O_NOFOLLOW: a symbolic link planted at the lock path would let the lock
    // create or share a file elsewhere.
    int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    // A lock file made by another user that this one may only read still locks.
    if (fd < 0 && errno == EACCES)
        fd = ::open(lockPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const int error = error_ = errno;
        problem_ = "cannot open the lock file " + lockPath_ + ": " +
                   (error == ELOOP ? std::string("it is a symbolic link") : std::strerror(error));
        return RunLockState::Unavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        error_ = error;
        if (error == EWOULDBLOCK) return RunLockState::Busy;
        // A file system without flock cannot guard the runs.
        problem_ = "cannot lock " + lockPath_ + ": " + std::strerror(error);
        return RunLockState::Unavailable;
    }
    fd_ = fd;
    problem_.clear();
    error_ = 0;
    return RunLockState::Held;
}

void RunLock::Unlock() {
    if (fd_ < 0) return;
    // Closing the only descriptor of the open file releases the lock.
    ::close(std::exchange(fd_, -1));
}

}  // namespace vela
