#include "platform/posix/cups_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <new>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/cups_request.h"

namespace ploxwen::posix {
namespace {

using platform::PlatformError;

// A run that cannot get its answers gives up this long after its first need of
// the server (reading the payload is the caller's time).
constexpr std::chrono::seconds kRunTime(30);
// libcups asks KeepWaiting after each wait this long without a byte.
constexpr double kWaitSeconds = 1;
// How long a refusal is retried; a full listen queue is retried until the
// deadline.
constexpr std::chrono::seconds kRefusalPatience(1);
// How long a TCP probe waits to see its connect() refused or accepted.
constexpr int kProbeMilliseconds = 100;

// libcups allocates its per-thread state on its first call and uses it
// without checking: with no memory left for it, that call would crash. The
// state is some tens of KiB; room for far more is made sure of first, where
// running out can still be reported.
constexpr std::size_t kLibcupsStateRoom = std::size_t{256} * 1024;

void MakeRoomForLibcupsState() {
    void* room = std::malloc(kLibcupsStateRoom);
    if (room == nullptr) throw std::bad_alloc();
    std::free(room);
}

enum class ConnectFailure { kBusy, kRefused, kAccepted, kUnreachable };

// What one connect() on a non-blocking socket ends in: 0, or its error. On
// a local socket it answers at once; over TCP it is under way first
// (EINPROGRESS) and, unless the server drops it for a full listen queue,
// accepted or refused a moment later. EINPROGRESS: still under way then.
int ConnectOutcome(int fd, const http_addr_t& address) {
    if (connect(fd, &address.addr, static_cast<socklen_t>(httpAddrLength(&address))) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd connecting{fd, POLLOUT, 0};
    if (poll(&connecting, 1, kProbeMilliseconds) != 1) return EINPROGRESS;
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : errno;
}

// httpConnect2 reports every failure alike. One bare connect() tells a full
// listen queue from a refusal or no server at all.
ConnectFailure ProbeServer() {
    const std::string port = std::to_string(ippPort());
    http_addrlist_t* addresses = httpAddrGetList(cupsServer(), AF_UNSPEC, port.c_str());
    ConnectFailure failure = ConnectFailure::kUnreachable;
    for (http_addrlist_t* address = addresses; address != nullptr; address = address->next) {
        const int fd = socket(httpAddrFamily(&address->addr), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        const int error = ConnectOutcome(fd, address->addr);
        close(fd);
        if (error == 0) failure = ConnectFailure::kAccepted;
        if (error == EAGAIN || error == EINPROGRESS) failure = ConnectFailure::kBusy;
        // Refused, or a local socket missing, for a moment while cupsd reloads or restarts.
        if (error == ECONNREFUSED || error == ENOENT) failure = ConnectFailure::kRefused;
        if (failure != ConnectFailure::kUnreachable) break;
    }
    httpAddrFreeList(addresses);
    return failure;
}

}  // namespace

CupsConnection::CupsConnection(platform::Cause& cause) : deadline_(kRunTime), cause_(cause) {
    // A server that goes away mid-request must fail the write, not end the
    // process: libcups sends without MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    MakeRoomForLibcupsState();
    cupsSetPasswordCB2(&CupsConnection::AskPassword, this);
    SetLastResortCause(NotAnswering());
}

CupsConnection::~CupsConnection() {
    // An unfinished Print-Job dies with its connection; the server keeps nothing.
    Drop();
    cupsSetPasswordCB2(nullptr, nullptr);
}

http_t* CupsConnection::Get() {
    deadline_.Start();
    if (http_ == nullptr && no_connection_cause_.empty()) {
        http_ = ConnectBeforeDeadline();
        if (http_ != nullptr) {
            // Without a callback libcups would give up on a server silent
            // for 10 s; the deadline alone decides.
            httpSetTimeout(http_, kWaitSeconds, &CupsConnection::KeepWaiting, this);
            deadline_.Guard(http_);
        }
    }
    if (http_ == nullptr) throw PlatformError(no_connection_cause_);
    if (deadline_.Passed()) throw PlatformError(NotAnswering());
    return http_;
}

bool CupsConnection::ClosedUnanswered() const {
    // The socket failed before a final status came: libcups's status is an
    // error, or still the "continue" it sets on sending.
    return http_ != nullptr && httpError(http_) != 0 && httpGetStatus(http_) <= HTTP_STATUS_CONTINUE &&
           !deadline_.Passed();
}

bool CupsConnection::Retry::Again(CupsConnection& connection) {
    if (!connection.ClosedUnanswered() || Clock::now() - since_ >= kRefusalPatience) return false;
    connection.Drop();
    std::this_thread::sleep_for(pauses_.Next());
    return true;
}

void CupsConnection::Drop() {
    deadline_.Guard(nullptr);
    if (http_ != nullptr) httpClose(http_);
    http_ = nullptr;
}

void CupsConnection::ExtendDeadline(Clock::duration more) {
    // A connection cut off at the old deadline is of no more use.
    if (deadline_.Passed()) Drop();
    deadline_.Extend(more);
}

http_t* CupsConnection::ConnectBeforeDeadline() {
    platform::Backoff pauses(kFirstRetryDelay, kLongestRetryDelay);
    Clock::time_point retrying_since = Clock::now();
    bool was_busy = true;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_.When() - Clock::now());
        if (left.count() > 0) {
            http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                        static_cast<int>(left.count()), nullptr);
            if (http != nullptr) return http;
        }
        if (deadline_.Passed()) {
            no_connection_cause_ = NotAnswering();
            return nullptr;
        }
        // A busy server is waited for; a refusing one only briefly.
        const ConnectFailure failure = ProbeServer();
        const bool busy = failure == ConnectFailure::kBusy;
        if (was_busy && !busy) retrying_since = Clock::now();
        was_busy = busy;
        if (failure == ConnectFailure::kUnreachable ||
            (!busy && Clock::now() - retrying_since >= kRefusalPatience)) {
            no_connection_cause_ = "server unreachable at " + ServerAddress();
            return nullptr;
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(pauses.Next(), deadline_.When() - Clock::now()));
    }
}

int CupsConnection::KeepWaiting(http_t* /*http*/, void* self) {
    return !static_cast<CupsConnection*>(self)->deadline_.Passed();
}

const char* CupsConnection::AskPassword(const char* prompt, http_t* http, const char* method,
                                        const char* resource, void* self) {
    auto* connection = static_cast<CupsConnection*>(self);
    const char* password = nullptr;
    // Without a terminal nobody can answer: fail at once instead of waiting.
    if (isatty(STDIN_FILENO)) {
        // libcups's own prompt, within the run's limit: a prompt nobody
        // answers ends with the run.
        SetLastResortCause("authentication required: no password before the deadline");
        cupsSetPasswordCB2(nullptr, nullptr);
        password = cupsGetPassword2(prompt, http, method, resource);
        cupsSetPasswordCB2(&CupsConnection::AskPassword, self);
        SetLastResortCause(connection->NotAnswering());
    }
    if (password == nullptr) connection->cause_.Note("authentication required");
    return password;
}

std::string CupsConnection::ServerAddress() const {
    const char* server = cupsServer();
    if (server[0] == '/') return server;  // a local socket
    return std::string(server) + ":" + std::to_string(ippPort());
}

std::string CupsConnection::CauseOfFailedRequest(const std::string& otherwise) const {
    if (deadline_.Passed()) return NotAnswering();
    // libcups words every HTTP status it has no IPP status for as "service
    // unavailable", and an answer it could not read as a lost one.
    const http_status_t answered = http_ != nullptr ? httpGetStatus(http_) : HTTP_STATUS_NONE;
    if (answered >= HTTP_STATUS_SERVER_ERROR) return "server error";
    if (std::string cause = CauseOfStatus(cupsLastError(), ServerAddress()); !cause.empty()) return cause;
    if (answered >= HTTP_STATUS_BAD_REQUEST) return std::string("server refused: ") + httpStatus(answered);
    // libcups marks an answer it could not parse with EINVAL.
    if (http_ != nullptr && httpError(http_) == EINVAL)
        return "malformed answer from the server at " + ServerAddress();
    return otherwise;
}

std::string CupsConnection::CauseOfCutRequest(const std::string& otherwise) {
    // A server that refuses a request part-way answers before it hangs up;
    // the answer may wait to be read behind the failed write.
    if (http_ != nullptr && !deadline_.Passed() && httpGetStatus(http_) < HTTP_STATUS_BAD_REQUEST) {
        while (httpUpdate(http_) == HTTP_STATUS_CONTINUE) {
        }
    }
    return CauseOfFailedRequest(otherwise);
}

bool CupsConnection::Refused() const {
    return http_ != nullptr && httpGetStatus(http_) >= HTTP_STATUS_BAD_REQUEST;
}

}  // namespace ploxwen::posix
