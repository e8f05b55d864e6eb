#pragma once

#include <functional>

// Hand-over of work from a worker thread to the GUI thread, and the program-wide
// end flag that every wait and hand-over honours.

namespace vela {

// Call once on the GUI thread after the QApplication exists.
void InitGuiThread();
bool IsGuiThread();

// Runs `work` on the GUI thread and waits until it has run: directly when already
// there, otherwise posted to the GUI thread. Returns false without running it (or
// without waiting any longer for it to start) once the program is ending, so a
// worker can never hang on a GUI thread that has left its event loop.
bool RunOnGuiThread(const std::function<void()>& work);

// The program is ending: waits return at once, hand-overs are refused.
bool ProgramEnding();
void BeginProgramEnd();

// Lets a condition-variable wait learn of the program end: `notify` is called
// from BeginProgramEnd. Returns an id for UnsubscribeProgramEnd.
int SubscribeProgramEnd(std::function<void()> notify);
void UnsubscribeProgramEnd(int id);

}  // namespace vela
