#pragma once

#include <sys/types.h>

#include <string>

namespace vela {

// Who may read a file a command writes with -o.
enum class FileAccess {
    Shared,  // as a new file of this user (0666 less the umask): a feed a web server publishes
    Owner,   // the user alone (0600): a scheme file, which may hold a login cookie
};

// Writes `bytes` to a temporary file beside `path`, flushed to disk, and renames it
// over `path`, so that a reader sees the old file or the new one, never part of
// one, and an interrupted command leaves no half file. False, with one line naming
// the file and the system's reason, when it cannot be written.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, FileAccess access,
                         std::string& error);

}  // namespace vela
