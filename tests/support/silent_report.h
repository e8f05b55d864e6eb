#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "engine/run_report.h"

namespace vela::test {

// A run's report that shows nothing and never stops the run: for tests that look
// at what a run stored, not at what it said. Its pauses (the wait for another
// program's run lock among them) really wait.
class SilentReport : public RunReport {
public:
    bool Stopped() override { return false; }
    void Status(const std::string&) override {}
    void Region(const std::string&) override {}
    void Statement(const std::string&, const StatementOutcome&) override {}
    void NewArticlesFound() override {}
    void Recorded(const Scheme&, const ArticleInsert&, const std::string&) override {}
    void Pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

}  // namespace vela::test
