// The one connection to the CUPS server that serves a whole run, and the
// run's deadline: connecting, every wait for the server and every retry give
// up when it passes, and a request under way is cut off then. A failure is
// named where it happens: Get() throws why there is no connection, and
// CauseOfFailedRequest() words a request that came back without an answer.
#pragma once

#include <cups/cups.h>

#include <chrono>
#include <string>

#include "platform/backoff.h"
#include "platform/platform.h"
#include "platform/posix/cups_deadline.h"

namespace ploxwen::posix {

class CupsConnection {
public:
    // `cause` takes what a callback of libcups cannot throw (a password that
    // nobody can type).
    explicit CupsConnection(platform::Cause& cause);
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    // The connection, made on first use (with retries while the server is
    // busy or restarting). Throws PlatformError naming why when there is none
    // or no time is left for a request.
    http_t* Get();
    // The connection of a request under way; null when there is none.
    http_t* Current() { return http_; }
    // Makes `call` with the connection and returns what it returns. When
    // that is nothing because the connection broke before any answer (a
    // reloading cupsd closes idle connections, and resets those it has not
    // accepted yet), makes it again on a new connection, for as long as a
    // refusal is retried. Only for a call the server cannot have acted on:
    // a lookup, or sending a job's request before its data.
    template <typename Call>
    auto Retried(Call call) {
        auto result = call(Get());
        for (Retry retry; !result && retry.Again(*this);) result = call(Get());
        return result;
    }
    // Closes the connection, which also makes the server drop a request it
    // has not received whole. A later Get() connects again.
    void Drop();
    // Drop(), and forgets why there was no connection: for the looks of a
    // wait, which try again until it ends.
    void Reset() {
        Drop();
        no_connection_cause_.clear();
    }

    // Moves the deadline on by `more`: time not spent on the server.
    void ExtendDeadline(std::chrono::steady_clock::duration more);
    // Whether the deadline has passed: then a request that failed was cut
    // off, whatever libcups made of it.
    bool deadline_passed() const { return deadline_.Passed(); }

    // The server as the cause line names it: a socket path or HOST:PORT.
    std::string ServerAddress() const;
    // The cause of a run that ran out of time.
    std::string NotAnswering() const { return "server not answering at " + ServerAddress(); }
    // Why the last request failed: out of time, whatever libcups made of the
    // cut; else the server's own status; else `otherwise` (what this side saw).
    // An HTTP error status is the server's refusal, or "server error" for 5xx.
    std::string CauseOfFailedRequest(const std::string& otherwise) const;
    // The same for a request whose sending failed, once the answer the
    // server may have sent before it hung up is read.
    std::string CauseOfCutRequest(const std::string& otherwise);
    // Whether the server answered the request under way with an HTTP error:
    // it refused it, and made nothing of it.
    bool Refused() const;

private:
    using Clock = std::chrono::steady_clock;

    http_t* ConnectBeforeDeadline();
    // The retries of one call: Again() says whether to make it once more,
    // after dropping the broken connection and a pause.
    class Retry {
    public:
        bool Again(CupsConnection& connection);

    private:
        Clock::time_point since_ = Clock::now();
        platform::Backoff pauses_{kFirstRetryDelay, kLongestRetryDelay};
    };
    // Connecting again after a refusal: a server being started or reloaded
    // has its socket a moment after, or before, it listens.
    static constexpr std::chrono::milliseconds kFirstRetryDelay{5};
    static constexpr std::chrono::milliseconds kLongestRetryDelay{200};

    bool ClosedUnanswered() const;
    static int KeepWaiting(http_t* http, void* self);
    static const char* AskPassword(const char* prompt, http_t* http, const char* method, const char* resource,
                                   void* self);

    CupsDeadline deadline_;
    platform::Cause& cause_;
    http_t* http_ = nullptr;
    std::string no_connection_cause_;  // why there is no connection; then no later request tries again
};

}  // namespace ploxwen::posix
