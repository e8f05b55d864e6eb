#pragma once

#include <cstddef>
#include <string>

namespace vela {

// Reads from `fd` until its end or until `limit` bytes are in `bytes` (a read cut
// by a signal is repeated). 0, or the errno of the read that failed; `bytes`
// holds what was read either way. The descriptor stays open.
int ReadUpTo(int fd, std::size_t limit, std::string& bytes);

}  // namespace vela
