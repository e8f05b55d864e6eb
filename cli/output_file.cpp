#include "output_file.h"

#include <cstring>

namespace vela {

bool WriteOutputFile(const std::string& path, const std::string& bytes, FileMode mode,
                     std::string& error) {
    const FileWrite written = WriteFileAtomically(path, bytes, mode);
    if (written.Replaced()) return true;
    error =
        (written.step == FileWriteStep::Create ? "cannot create a file beside " : "cannot write ") +
        path + ": " + std::strerror(written.error);
    return false;
}

}  // namespace vela
