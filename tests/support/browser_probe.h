#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "fetch/process_group.h"

// Whether the tests that render pages can run here: they skip, saying why, only
// where the browser cannot start at all. Asked once per test program.

namespace vela::test {

// Empty when chromium starts; otherwise why not.
inline const std::string& BrowserUnavailable() {
    static const std::string reason = [] {
        const std::string program = FindProgram("chromium");
        if (program.empty())
            return std::string("chromium is not installed (apt-get install chromium)");
        FILE* pipe = popen((program + " --headless --version 2>/dev/null").c_str(), "r");
        if (pipe == nullptr) return std::string("chromium cannot be started");
        char line[256] = {};
        const bool said = std::fgets(line, sizeof line, pipe) != nullptr;
        const int status = pclose(pipe);
        if (!said || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return std::string("chromium does not start here");
        }
        return std::string();
    }();
    return reason;
}

}  // namespace vela::test

// Skips the current test when the browser cannot start.
#define VELA_REQUIRE_BROWSER()                                                    \
    do {                                                                          \
        if (!::vela::test::BrowserUnavailable().empty()) {                        \
            GTEST_SKIP() << "no browser: " << ::vela::test::BrowserUnavailable(); \
        }                                                                         \
    } while (false)
