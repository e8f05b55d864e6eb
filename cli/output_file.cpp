#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vela {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, FileAccess access,
                         std::string& error) {
    std::string temporary = path + ".XXXXXX";
    // mkstemp makes the file 0600: an owner-only file is never readable by others,
    // not even for a moment.
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    if (access == FileAccess::Shared) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(ok ? errno : writeErrno);
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace vela
