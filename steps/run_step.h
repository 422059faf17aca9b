// The load sequence runs every step under one policy: a step that fails is
// abandoned where it failed and the sequence goes on with the next step. The
// application and the printing block share it, so it sits below both.
#pragma once

#include <new>

#include "platform/platform.h"

namespace ploxwen::steps {

// Runs one step and absorbs any failure inside it. Temporaries the step made
// are released by unwinding. Returns whether the step ran to its end. For a
// step whose failure explains nothing of the run's outcome (the printer to
// put back at the end, a missing piece of the argument text).
template <typename Step>
bool RunStep(Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

// The same, and the failure's own words become the run's cause unless an
// earlier failure's did: for the steps whose failure decides the status.
template <typename Step>
bool RunStep(platform::Cause& cause, Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        cause.NoteCaught();
        return false;
    }
}

// For a step whose own failure only leaves something out (a piece of the
// argument text) but whose running out of memory must not go unseen: left
// out for that reason, the piece would print as less than was typed. Only
// the program's own resources failing is noted.
template <typename Step>
bool RunStepMindingResources(platform::Cause& cause, Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (const std::bad_alloc&) {
        cause.NoteCaught();
    } catch (const platform::ResourceError&) {
        cause.NoteCaught();
    } catch (...) {
    }
    return false;
}

}  // namespace ploxwen::steps
