#include "now_text.h"

#include <ctime>

namespace vela {

std::string NowText() { return NowText(std::chrono::system_clock::now()); }

std::string NowText(std::chrono::system_clock::time_point when) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-" +
           std::to_string(local.tm_mday) + " " + std::to_string(local.tm_hour) + ":" +
           std::to_string(local.tm_min) + " " + std::to_string(local.tm_sec);
}

}  // namespace vela
