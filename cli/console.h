#pragma once

#include <cstdio>
#include <string>

namespace vela {

// Where the commands write: articles and lists to `out`, progress and errors to
// `err`. Progress lines are shown only on a terminal and without --quiet.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool progress = false;
};

// "vela-cli: <message>" as one line on the error stream.
void PrintError(const Console& console, const std::string& message);

}  // namespace vela
