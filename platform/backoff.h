// How every retry and poll of PloxWen spaces its attempts: pauses that double
// from a first one up to a longest, then stay there. Shared by the core's
// watch of a job and the CUPS backend's retries; each use names its bounds.
#pragma once

#include <algorithm>
#include <chrono>

namespace ploxwen::platform {

class Backoff {
public:
    constexpr Backoff(std::chrono::milliseconds first, std::chrono::milliseconds longest)
        : next_(first), longest_(longest) {}

    // The pause to make now; the next one is twice as long, up to the longest.
    std::chrono::milliseconds Next() {
        const std::chrono::milliseconds pause = next_;
        next_ = std::min(next_ * 2, longest_);
        return pause;
    }

private:
    std::chrono::milliseconds next_;
    std::chrono::milliseconds longest_;
};

}  // namespace ploxwen::platform
