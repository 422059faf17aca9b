// How a failure travels from where it happened to the cause line: the
// exceptions the platform throws, and the run's one record of its first
// failure.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace ploxwen::platform {

// A failure, its message the cause in plain words, fit for the cause line
// ("server unreachable at /run/cups/cups.sock").
class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's own resources failed, not the printer or the spooler: no
// memory, no file descriptor left. std::bad_alloc says the same.
class ResourceError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// What went wrong first in a run, in the words of whoever met it: a step of
// the core (the message of what it caught) or a backend (a spooler call's
// zero result, a connection that failed). One per run, shared by the core and
// the backend; the core writes it as the cause line when the run ends with a
// status that has one. Later failures follow from the first and are dropped.
class Cause {
public:
    // Keeps `words` when nothing was noted before; empty words are no cause.
    void Note(std::string words) {
        if (words_.empty()) words_ = std::move(words);
    }
    // The spooler answered that it will not take the document and holds no
    // job of it (CUPS: an error answer to the job's request). Once said this
    // stays true for the run: no later call can make that job.
    void NoteRefusal(std::string words) {
        Note(std::move(words));
        refused_ = true;
    }
    // Notes the failure being handled; called only inside a catch block. The
    // program's own resources failing counts as such when it is the run's
    // first failure; anything else is noted by its message. Never throws:
    // with no memory left for the words, the status still tells.
    void NoteCaught() noexcept {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            NoteOwnFailure("out of memory");  // short enough to need no memory
        } catch (const ResourceError& failure) {
            NoteOwnFailure(failure.what());
        } catch (const std::exception& failure) {
            NoteQuietly(failure.what());
        } catch (...) {
        }
    }
    const std::string& words() const { return words_; }
    bool refused() const { return refused_; }
    // The run's first failure was the program's own resources failing.
    bool resources_failed() const { return resources_failed_; }

private:
    void NoteOwnFailure(const char* words) noexcept {
        if (!words_.empty()) return;
        resources_failed_ = true;
        NoteQuietly(words);
    }
    void NoteQuietly(const char* words) noexcept {
        try {
            Note(words);
        } catch (...) {
        }
    }

    std::string words_;
    bool refused_ = false;
    bool resources_failed_ = false;
};

}  // namespace ploxwen::platform
