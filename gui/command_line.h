#pragma once

#include <string>
#include <vector>

namespace vela {

// The window program's options. Qt takes its own options (-platform, -style, …)
// out of the command line first; a word that is no option is ignored, as it always
// was, but an unknown option is an error, so that a mistyped one never opens the
// window on the wrong database.
struct CommandLine {
    std::string databasePath;  // --database PATH or --database=PATH; empty when absent
    // --quit-after-start: end the program once the window is up (the package test
    // starts the installed program this way).
    bool quitAfterStart = false;
    bool help = false;  // --help or -h: print the usage and end
    std::string error;  // set when an option is malformed or unknown
};

// `args` without the program name. --help anywhere wins over an error.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage --help prints, also printed after an error.
std::string CommandLineUsage();

}  // namespace vela
