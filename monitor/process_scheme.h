#pragma once

#include <functional>
#include <string>

namespace vela {

class Database;
class MainWindow;
struct MonitorState;

enum class ProcessMode { Monitor = 0, Test = 1 };

// Everything a run works with.
struct ProcessContext {
    MainWindow& window;
    Database& database;
    MonitorState& state;
    // How long a fetch may wait for a connection or a byte; tests shorten them.
    int connectTimeoutMs = 60'000;
    int stallTimeoutMs = 60'000;
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
