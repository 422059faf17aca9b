// The opt-in wait for the spooler's verdict on a job it accepted
// (PLOXWEN_WAIT): what the variable's text asks for, and the watch of the
// one job until the spooler decides or the wait runs out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "rawprint/raw_print_job.h"
#include "steps/exit_status.h"

namespace ploxwen::rawprint {

inline constexpr char kWaitVariable[] = "PLOXWEN_WAIT";
inline constexpr std::chrono::seconds kLongestWait(3600);

// The wait asked for in the environment: nullopt when PLOXWEN_WAIT is unset
// or empty. Throws PlatformError naming the variable for any text but whole
// seconds from 1 to kLongestWait in decimal digits (no sign, space or unit).
std::optional<std::chrono::seconds> RequestedWait(platform::Process& process);

// Watches the job the printing block started (`printed`, a clean run of it)
// until the spooler decides or `wait` has passed, looking at once and then
// at growing intervals, the last look at the end of the wait. Returns
// kPrinted, kNotPrinted or kNoVerdictYet, and notes the words of the last two
// in `cause`. A job seen kept that leaves the queue was deleted
// (kNotPrinted); any other may have printed (kNoVerdictYet). The job is left as it is, but a
// kept job seen printed is released.
steps::ExitStatus WaitForVerdict(platform::JobWatch& watch, platform::Cause& cause,
                                 const PrintResult& printed, std::chrono::seconds wait);

}  // namespace ploxwen::rawprint
