#include "fetch/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vela {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

FileWrite Failed(FileWriteStep step, int error) { return FileWrite{step, error}; }

}  // namespace

FileWrite WriteFileAtomically(const std::string& path, std::string_view bytes, FileMode mode,
                              TemporaryName temporary) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporaryPath = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    if (temporary.hidden) temporaryPath += '.';
    temporaryPath += name;
    temporaryPath += ".XXXXXX";
    temporaryPath += temporary.suffix;
    // mkostemps makes the file 0600: an owner-only file is never readable by
    // others, not even for a moment.
    const int fd =
        ::mkostemps(temporaryPath.data(), static_cast<int>(temporary.suffix.size()), O_CLOEXEC);
    if (fd < 0) return Failed(FileWriteStep::Create, errno);
    bool ok = true;
    if (mode == FileMode::Shared) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporaryPath.c_str());
        return Failed(FileWriteStep::Write, error);
    }
    // The rename itself must reach the disk before the new file counts as kept.
    if (!SyncFolder(folder)) return Failed(FileWriteStep::SyncFolder, errno);
    return {};
}

}  // namespace vela
