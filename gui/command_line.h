#pragma once

#include <string>
#include <vector>

namespace vela {

// The window program's options. Anything else on the command line is ignored, as
// it always was (Qt takes its own options first).
struct CommandLine {
    std::string databasePath;  // --database PATH or --database=PATH; empty when absent
    // --quit-after-start: end the program once the window is up (the package test
    // starts the installed program this way).
    bool quitAfterStart = false;
    std::string error;  // set when an option is malformed
};

// `args` without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace vela
