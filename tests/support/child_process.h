#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Runs a program of the build as a child process, its output caught in files, for
// the tests of the command-line runner.

namespace vela::test {

struct ChildOutcome {
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::string out;
    std::string err;
    std::chrono::milliseconds ran{0};  // from the start to its end
};

class ChildProcess {
public:
    // Starts `program` with `args`; its standard output and error go to files in
    // `dir`, named after `tag`.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& dir, const std::string& tag = "child");
    ~ChildProcess();  // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void Signal(int signal) const;
    // Waits for the end, at most `limit`; a child still running then is killed.
    ChildOutcome Wait(std::chrono::milliseconds limit = std::chrono::seconds(30));

private:
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
    std::chrono::steady_clock::time_point started_;
};

// Starts and waits in one.
ChildOutcome RunChild(const std::string& program, const std::vector<std::string>& args,
                      const std::string& dir);

// The lines of `text`, without their line breaks.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vela::test
