#pragma once

#include <functional>
#include <string>

namespace vela {

class Database;
class MainWindow;
struct MonitorState;

enum class ProcessMode { Monitor = 0, Test = 1 };

// Every pause and time-out of monitoring, in one place so that tests can shorten them.
struct MonitorTimings {
    int pollMs = 2000;              // between two checks of a running worker
    int pauseMs = 5000;             // after each scheme
    int secondMs = 1000;            // one second of the frequency
    int insertPauseMs = 200;        // between two recorded articles
    int connectTimeoutMs = 60'000;  // a fetch waiting for its connection
    int stallTimeoutMs = 60'000;    // a fetch receiving no byte
    int transferLimitMs = 120'000;  // a whole fetch, redirects included
};

// Everything a run works with.
struct ProcessContext {
    MainWindow& window;
    Database& database;
    MonitorState& state;
    MonitorTimings timings{};
};

// The rule tester refuses addresses of this site.
inline constexpr const char* kBlockedSiteToken = "lanqi.example";

// One run over one scheme: fetch the page, cut the region, match the pattern, and
// then show the matches (Test, on the GUI thread, inputs from the editor) or record
// the new articles (Monitor, on the worker, inputs from the scheme list row at
// CurrentTask). A Monitor run ends by writing its end line and clearing
// WorkerBusy. After a stop of monitoring it starts no request and runs no
// statement; after the program's end it touches nothing.
void ProcessScheme(ProcessMode mode, ProcessContext& context);

// Handler of 规则测试: refuses the blocked site, else runs a test.
void OnTestScheme(ProcessContext& context);

}  // namespace vela
