#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// What the serving process's own check cycles found, for the schemes page: when
// each scheme was last checked and its last error, and when the last cycle ended.
// Kept in memory only: the database is not written for it, and a cycle of the
// window or of another runner does not show here.

namespace vela {

struct SchemeCheck {
    std::string checkedAt;  // time text of the check's end
    std::string error;      // UTF-8; empty when it went well
};

class CheckBoard {
public:
    // Whether this process runs cycles at all (serve --every).
    void SetRunning(bool running);
    bool Running() const;

    void Record(const std::string& schemeId, SchemeCheck check);
    void CycleEnded(const std::string& at);

    std::map<std::string, SchemeCheck> Checks() const;
    std::string LastCycleEnded() const;  // empty before the first one ends
    // Changes with every Record and CycleEnded.
    uint64_t Version() const;

private:
    mutable std::mutex mutex_;
    bool running_ = false;
    uint64_t version_ = 0;
    std::map<std::string, SchemeCheck> checks_;
    std::string lastCycleEnded_;
};

}  // namespace vela
