#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vela {

std::string RunLockPath(const std::string& databasePath) { return databasePath + ".lock"; }

RunLock::RunLock(std::string databasePath) : path_(RunLockPath(databasePath)) {}

RunLock::~RunLock() { Unlock(); }

bool RunLock::TryLock() {
    if (fd_ >= 0) return true;
    if (path_.size() <= 5) return true;  // no database path: nothing to share
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return true;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        // A file system without flock cannot guard the runs; they go on unguarded.
        return !held;
    }
    fd_ = fd;
    return true;
}

void RunLock::Unlock() {
    if (fd_ < 0) return;
    // Closing the only descriptor of the open file releases the lock.
    ::close(std::exchange(fd_, -1));
}

}  // namespace vela
