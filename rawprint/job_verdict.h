// The opt-in wait for the spooler's verdict on a job it accepted
// (PLOXWEN_WAIT): what the variable's text asks for, and the watch of the
// one job until the spooler decides or the wait runs out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "steps/exit_status.h"

namespace ploxwen::rawprint {

inline constexpr char kWaitVariable[] = "PLOXWEN_WAIT";
inline constexpr std::chrono::seconds kLongestWait(3600);

// The wait asked for in the environment: nullopt when PLOXWEN_WAIT is unset
// or empty. Throws PlatformError naming the variable for any text but whole
// seconds from 1 to kLongestWait in decimal digits (no sign, space or unit).
std::optional<std::chrono::seconds> RequestedWait(platform::Process& process);

// Watches the job the document started on `printer_name` became (`job_id`
// as StartDocPrinterA returned it) until the spooler decides or `wait` has
// passed, looking at once and then at growing intervals, the last look at
// the end of the wait. Returns kPrinted, kNotPrinted or kNoVerdictYet, and
// notes the words of the last two in `cause`. The job is left as it is.
steps::ExitStatus WaitForVerdict(platform::JobWatch& watch, platform::Cause& cause, const char* printer_name,
                                 std::uint32_t job_id, std::chrono::seconds wait);

}  // namespace ploxwen::rawprint
