#pragma once

#include <string>

#include "fetch/atomic_file.h"

namespace vela {

// Writes the file of a command's -o whole or not at all (fetch/atomic_file.h): a
// feed as any new file of this user (FileMode::Shared), a scheme file, which may
// hold a login cookie, for the user alone (FileMode::Owner). False, with one line
// naming the file and the system's reason, when it cannot be written.
bool WriteOutputFile(const std::string& path, const std::string& bytes, FileMode mode,
                     std::string& error);

}  // namespace vela
