#include "platform/posix/cups_deadline.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

namespace ploxwen::posix {
namespace {

// Once the deadline has passed, the connection is cut off again this often,
// a few times: inside some calls libcups connects again on its own (when a
// request's header could not be sent, it sends the request anew), and that
// socket must not outlive the deadline either.
constexpr std::chrono::milliseconds kCutAgainAfter(100);
constexpr int kCuts = 10;

// Shared with the signal handler, which touches nothing else.
std::atomic<http_t*> guarded{nullptr};
std::atomic<bool> fired{false};
std::atomic<int> cuts_left{0};
std::atomic<int> last_resort_status{2};
std::atomic<bool> stood_down{false};
char last_resort_line[512] = "ploxwen: server not answering\n";
std::atomic<std::size_t> last_resort_length{std::strlen(last_resort_line)};
timer_t deadline_timer;
bool timer_made = false;
static_assert(std::atomic<http_t*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free);

timespec TimespecOf(std::chrono::nanoseconds span) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span);
    return {static_cast<time_t>(seconds.count()), static_cast<long>((span - seconds).count())};
}

void SetTimer(std::chrono::nanoseconds first, std::chrono::nanoseconds then) {
    const itimerspec timing{TimespecOf(then), TimespecOf(first)};
    if (timer_made) timer_settime(deadline_timer, 0, &timing, nullptr);
}

void CutOff(int /*signal*/) {
    const int saved_errno = errno;
    fired = true;
    // httpGetFd only reads the socket's number; a socket shut down both ways
    // makes every wait on it end and every read and write on it fail.
    http_t* http = guarded.load();
    if (http != nullptr) shutdown(httpGetFd(http), SHUT_RDWR);
    if (cuts_left.fetch_sub(1) <= 1) {
        SetTimer({}, {});
        // The cuts did not end the run: whatever holds it, it ends here.
        if (!stood_down) {
            // Status 2 goes with the message on stderr, as the run would have shown it.
            static const char kNotRecognized[] = "The Printer Name you typed wasn't recognized.\n";
            ssize_t ignored =
                last_resort_status == 2 ? write(STDERR_FILENO, kNotRecognized, sizeof kNotRecognized - 1) : 0;
            ignored = write(STDERR_FILENO, last_resort_line, last_resort_length);
            (void)ignored;
            _exit(last_resort_status);
        }
    }
    errno = saved_errno;
}

}  // namespace

CupsDeadline::CupsDeadline(Clock::duration run_time) : run_time_(run_time) {
    struct sigaction action {};
    action.sa_handler = &CutOff;
    action.sa_flags = SA_RESTART;  // other waits go on; libcups's own polls ask again
    sigemptyset(&action.sa_mask);
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGALRM;
    // Without a timer the deadline still ends every wait of libcups that
    // finds the server silent (see CupsConnection).
    timer_made = sigaction(SIGALRM, &action, nullptr) == 0 &&
                 timer_create(CLOCK_MONOTONIC, &event, &deadline_timer) == 0;
}

void CupsDeadline::Start() {
    if (started_) return;
    started_ = true;
    when_ = Clock::now() + run_time_;
    Arm();
}

CupsDeadline::~CupsDeadline() {
    if (timer_made) timer_delete(deadline_timer);
    timer_made = false;
    guarded = nullptr;
    std::signal(SIGALRM, SIG_DFL);
}

void CupsDeadline::Guard(http_t* http) {
    guarded = http;
}

bool CupsDeadline::Passed() const {
    return started_ && (fired || Clock::now() >= when_);
}

void CupsDeadline::Stop() {
    SetTimer({}, {});
}

void CupsDeadline::Extend(Clock::duration more) {
    if (!started_) {
        run_time_ += more;
        return;
    }
    when_ += more;
    if (Clock::now() < when_) fired = false;
    Arm();
}

void SetLastResortStatus(int exit_status) {
    last_resort_status = exit_status;
}

void SetLastResortCause(std::string_view cause) {
    const std::string_view prefix = "ploxwen: ";
    const std::size_t length = std::min(cause.size(), sizeof last_resort_line - prefix.size() - 1);
    last_resort_length = 0;  // a handler running meanwhile writes nothing
    std::memcpy(last_resort_line, prefix.data(), prefix.size());
    std::memcpy(last_resort_line + prefix.size(), cause.data(), length);
    last_resort_line[prefix.size() + length] = '\n';
    last_resort_length = prefix.size() + length + 1;
}

void EndTerminatedRun() {
    static const char kOutOfMemory[] = "ploxwen: out of memory\n";
    static const char kFailed[] = "ploxwen: the program failed\n";  // an exception escaped
    const bool escaped = std::current_exception() != nullptr;
    const ssize_t ignored = escaped ? write(STDERR_FILENO, kFailed, sizeof kFailed - 1)
                                    : write(STDERR_FILENO, kOutOfMemory, sizeof kOutOfMemory - 1);
    (void)ignored;
    const int phase = last_resort_status;
    _exit(phase == 2 ? 71 : phase);
}

void StandDownLastResort() {
    stood_down = true;
}

void CupsDeadline::Arm() {
    cuts_left = kCuts;
    // A zero first expiry would disarm the timer: one already due fires now.
    SetTimer(std::max<std::chrono::nanoseconds>(when_ - Clock::now(), std::chrono::nanoseconds(1)),
             kCutAgainAfter);
}

}  // namespace ploxwen::posix
