#pragma once

#include <cstddef>

namespace vela {

// Every pause and time-out of monitoring, in one place so that tests can shorten
// them. The run of one scheme uses the fetch limits and the pause between two
// recorded articles; the window's cycles use the rest.
struct MonitorTimings {
    int pollMs = 2000;                                   // between two checks of a running worker
    int pauseMs = 5000;                                  // after each scheme
    int secondMs = 1000;                                 // one second of the frequency
    int insertPauseMs = 200;                             // between two recorded articles
    int connectTimeoutMs = 60'000;                       // a fetch waiting for its connection
    int stallTimeoutMs = 60'000;                         // a fetch receiving no byte
    int transferLimitMs = 120'000;                       // a whole fetch, redirects included
    std::size_t bodyLimitBytes = std::size_t{32} << 20;  // a page is cut here
    int maxRedirects = 20;                               // followed by one fetch
    int renderLimitMs = 20'000;                          // a scheme's page rendered by the browser
    std::size_t renderMemoryBytes = std::size_t{3} << 30;  // the browser's processes together
};

}  // namespace vela
