#pragma once

namespace vela {

// Ctrl+C (SIGINT) and SIGTERM become a stop: a flag the run asks before each request
// and statement (and during a transfer), and a pipe that ends any wait at once.

// Installs the handlers. False when the pipe or a handler could not be set up.
bool InstallStopSignals();

// True once a stop signal arrived.
bool StopRequested();

// Waits `milliseconds` or until a stop signal arrives. True when the time ran
// out, false on a stop.
bool WaitUnlessStopped(long long milliseconds);

// After a stopped run: ends the process by the signal that stopped it, as a shell
// or systemd expect of a program that was asked to stop. Returns when no signal
// arrived.
void EndByStopSignal();

}  // namespace vela
