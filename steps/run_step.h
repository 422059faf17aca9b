// The load sequence runs every step under one policy: a step that fails is
// abandoned where it failed and the sequence goes on with the next step. The
// application and the printing block share it, so it sits below both and
// depends on nothing.
#pragma once

namespace ploxwen::steps {

// Runs one step and absorbs any failure inside it. Temporaries the step made
// are released by unwinding. Returns whether the step ran to its end.
template <typename Step>
bool RunStep(Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace ploxwen::steps
