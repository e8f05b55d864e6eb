#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// A page as a browser shows it once its scripts ran: headless chromium, driven
// through its DevTools protocol over a pair of pipes, for list pages that arrive
// as an empty shell and build their list with script.
//
// Each render starts its own browser with a fresh temporary profile (two browsers
// sharing one refuse to start), in a process group of its own, and ends it: the
// whole group is killed at the time limit, past the memory limit or on a stop.
// The browser ends by itself when the program that started it dies, even by
// SIGKILL: it stops when its command pipe closes, and the first process of the
// group is also sent SIGKILL when the thread that started it ends.

namespace vela {

// Why a render brought no page, or only part of one.
enum class RenderFailure {
    kNone,
    kAddress,      // not an http or https address with a host
    kStopped,      // a stop ended the render
    kMissing,      // no browser program in PATH
    kStart,        // the browser could not be started (profile, pipes, fork, exec)
    kExited,       // the browser ended before the page was taken (exitStatus says how)
    kTimeLimit,    // the render took longer than its limit (a request that never ends)
    kMemoryLimit,  // the browser's processes grew past the memory limit
    kSizeLimit,    // the page was larger than the size limit and was cut there
    kLoad,         // the browser could not load the address (detail: its error, net::…)
    kProtocol,     // the browser answered something the render cannot use (detail)
};

// The package that brings the browser, named by the error when it is missing.
inline constexpr const char* kBrowserPackage = "chromium";

struct RenderRequest {
    std::string url;        // an http or https address, ASCII or UTF-8
    std::string userAgent;  // UTF-8; empty = the browser's own
    std::string cookie;     // "name=value; name2=value2", UTF-8; sent to the address's host
    // How a page that does not say its encoding is read ("GBK", "UTF-8"); empty =
    // the browser's own guess (which takes such a UTF-8 page for windows-1252).
    std::string defaultEncoding;
};

struct RenderOptions {
    // Asked about every 50 ms while the render runs; true ends it (and the browser
    // with it) at once.
    std::function<bool()> stopRequested;
    std::chrono::milliseconds timeLimit{20'000};
    // The group's resident memory (GroupResidentBytes) past which it is ended.
    std::size_t memoryLimitBytes = std::size_t{3} << 30;
    // A page larger than this (UTF-8 bytes) is cut there.
    std::size_t maxBytes = std::size_t{32} << 20;
    // How much of the page's own time (its timers, run faster than real time)
    // passes once nothing is loading before the page is taken.
    int settleBudgetMs = 5000;
    std::string program = kBrowserPackage;  // looked up in PATH
    // Where the temporary profile is made; empty = $TMPDIR or /tmp. Its name holds
    // "vela-render-".
    std::string tempFolder;
};

struct RenderResult {
    std::string page;  // the document as it stands, UTF-8 (what arrived when cut)
    RenderFailure failure = RenderFailure::kNone;
    std::string detail;   // the browser's own error text, or what went wrong
    int exitStatus = -1;  // kExited: the exit code, or 128 + the signal
    std::size_t peakMemoryBytes = 0;
    std::chrono::milliseconds elapsed{0};
};

// Renders `request.url` and returns the document once the page has settled: no
// request pending and `settleBudgetMs` of its time run. Waits first for a free
// render slot (render_slots.h).
RenderResult RenderPage(const RenderRequest& request, const RenderOptions& options);

// What went wrong, in a few English words that name the limit at work (for the
// runner's error line); empty for kNone.
std::string RenderFailureText(const RenderResult& result, const RenderOptions& options);

// The same as the window's status line (UTF-8, "出错！…"); empty for kNone and
// kStopped.
std::string RenderFailureStatusText(const RenderResult& result, const RenderOptions& options);

}  // namespace vela
