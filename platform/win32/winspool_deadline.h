// The run's limit on Windows: nothing bounds a winspool call, and one to a
// network print server can block for minutes. A last resort watches the
// clock on a thread of its own: about a second after the limit (30 s, plus
// the wait), a run still going writes its cause line and is ended with the
// status of the phase it reached, whatever the call it is in.
#pragma once

#include <chrono>

namespace ploxwen::win32 {

// Starts the clock and its thread; the limit is 30 s from now.
void StartLastResort();
// Moves the limit on by `more` (the wait).
void ExtendLastResort(std::chrono::seconds more);
// The status to end with: 2 (not reached) until the document starts, then
// 4, since the spooler holds the job from StartDocPrinter on.
void SetLastResortStatus(int exit_status);
// The end of a run the C++ runtime cannot go on with (std::terminate: no
// memory left even to throw std::bad_alloc): one cause line, and 71 while
// no job of the run can exist, else the phase's status as above.
[[noreturn]] void EndTerminatedRun();
// The run ends by itself now, or waits for the user (a window).
void StandDownLastResort();

}  // namespace ploxwen::win32
