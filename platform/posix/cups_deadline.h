// The run's deadline, held whatever the server does. libcups gives up on a
// wait only when nothing arrives for a while, so a server that trickles its
// answer or reads a request slowly would keep a call going long past it.
// When the deadline passes, a timer's signal handler shuts the connection's
// socket down, and the libcups call on it fails at once; the caller then
// finds the deadline passed and names that cause. One per process: the
// timer's signal and the connection it cuts off are the process's.
//
// Behind it, a last resort: about a second after the deadline, once the
// cuts are done, a run still going (a libcups call that connects again on
// its own with its own timeout, a password prompt nobody answers) is ended
// by the same timer's handler, with its cause line and the status of the
// phase the run reached.
#pragma once

#include <cups/cups.h>

#include <chrono>
#include <string_view>

namespace ploxwen::posix {

class CupsDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // The deadline will be `run_time` after Start().
    explicit CupsDeadline(Clock::duration run_time);
    ~CupsDeadline();
    CupsDeadline(const CupsDeadline&) = delete;
    CupsDeadline& operator=(const CupsDeadline&) = delete;

    // The connection to cut off when the deadline passes; null for none.
    // Null it before the connection is closed.
    void Guard(http_t* http);
    // Starts the clock, at the run's first need of the server: the time the
    // caller spent handing the payload over (a pipe) is not the server's.
    // Once only; later calls change nothing.
    void Start();
    // Never before Start().
    bool Passed() const;
    Clock::time_point When() const { return when_; }
    // Stops the clock, for a wait that is not the server's (a password
    // typed); Extend starts it again.
    void Stop();
    // Moves the deadline on by `more` and starts the clock again.
    void Extend(Clock::duration more);

private:
    void Arm();

    Clock::duration run_time_;
    bool started_ = false;
    Clock::time_point when_{};
};

// The status the last resort ends the run with: 2 (kNotReached) until the
// job's request starts, then the phase's, never one that invites sending
// again while a job may exist.
void SetLastResortStatus(int exit_status);
// The end of a run the C++ runtime cannot go on with (std::terminate: no
// memory left even to throw std::bad_alloc): one cause line, and 71 while
// no job of the run can exist, else the phase's status as above.
[[noreturn]] void EndTerminatedRun();
// The last resort's cause line ("server not answering at ADDRESS").
void SetLastResortCause(std::string_view cause);
// The run ends by itself now, or waits for the user (a window): the last
// resort stands down for good.
void StandDownLastResort();

}  // namespace ploxwen::posix
