#include "file_bytes.h"

#include <unistd.h>

#include <cerrno>

namespace vela {

int ReadUpTo(int fd, std::size_t limit, std::string& bytes) {
    bytes.assign(limit, '\0');
    std::size_t done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return failure;
}

}  // namespace vela
