#include "console.h"

namespace vela {

void PrintError(const Console& console, const std::string& message) {
    std::fprintf(console.err, "vela-cli: %s\n", message.c_str());
    std::fflush(console.err);
}

}  // namespace vela
