#include "platform/posix/cups_job_watch.h"

#include <cstdlib>
#include <thread>

namespace ploxwen::posix {

std::optional<std::string> CupsJobWatch::RequestedWait() {
    const char* wait = std::getenv("PLOXWEN_WAIT");
    if (wait == nullptr || *wait == '\0') return std::nullopt;
    return std::string(wait);
}

void CupsJobWatch::BeginWatch(std::chrono::seconds wait) {
    connection_.ExtendDeadline(wait);
}

platform::JobReport CupsJobWatch::LookAtJob(const char* /*printer_name*/, std::uint32_t /*job_id*/) {
    throw platform::PlatformError("the job cannot be followed on this server");
}

std::chrono::milliseconds CupsJobWatch::Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void CupsJobWatch::Pause(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

}  // namespace ploxwen::posix
