#pragma once

#include <chrono>
#include <string>

namespace vela {

// Local time as "year-month-day hour:minute second", without leading zeros and
// with a blank before the seconds: 2016-9-9 8:5 7. It holds no apostrophe, so it
// goes into SQL literals unchanged.
std::string NowText();
std::string NowText(std::chrono::system_clock::time_point when);

}  // namespace vela
