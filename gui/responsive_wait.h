#pragma once

namespace vela {

// Pauses the calling thread for `milliseconds` while its events keep being handled.
// On the GUI thread a nested event loop runs until a timer ends it, so a button
// clicked meanwhile has its handler run before the wait returns (nested waits end
// inner first). On a thread without an event loop it is a timed wait that a stop
// of monitoring (WakeWaits) or the program's end cuts short. Returns at once when
// the program is ending. Always returns true.
bool ResponsiveWait(long long milliseconds);

// Cuts short the waits of threads without an event loop (a stop of monitoring).
void WakeWaits();

}  // namespace vela
