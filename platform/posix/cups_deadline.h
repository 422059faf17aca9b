// The run's deadline, held whatever the server does. libcups gives up on a
// wait only when nothing arrives for a while, so a server that trickles its
// answer or reads a request slowly would keep a call going long past it.
// When the deadline passes, a timer's signal handler shuts the connection's
// socket down, and the libcups call on it fails at once; the caller then
// finds the deadline passed and names that cause. One per process: the
// timer's signal and the connection it cuts off are the process's.
#pragma once

#include <cups/cups.h>

#include <chrono>

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

}  // namespace ploxwen::posix
