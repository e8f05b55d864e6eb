#include "check_board.h"

namespace vela {

void CheckBoard::SetRunning(bool running) {
    std::lock_guard lock(mutex_);
    running_ = running;
    ++version_;
}

bool CheckBoard::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void CheckBoard::Record(const std::string& schemeId, SchemeCheck check) {
    std::lock_guard lock(mutex_);
    checks_[schemeId] = std::move(check);
    ++version_;
}

void CheckBoard::CycleEnded(const std::string& at) {
    std::lock_guard lock(mutex_);
    lastCycleEnded_ = at;
    ++version_;
}

std::map<std::string, SchemeCheck> CheckBoard::Checks() const {
    std::lock_guard lock(mutex_);
    return checks_;
}

std::string CheckBoard::LastCycleEnded() const {
    std::lock_guard lock(mutex_);
    return lastCycleEnded_;
}

}  // namespace vela

namespace vela {

uint64_t CheckBoard::Version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

}  // namespace vela
