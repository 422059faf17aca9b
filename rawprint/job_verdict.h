// The opt-in wait for the spooler's verdict on a job it accepted
// (PLOXWEN_WAIT): what the variable's text asks for, and the watch of the
// one job until the spooler decides or the wait runs out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ploxwen::rawprint {

inline constexpr std::chrono::seconds kLongestWait(3600);

// The wait `text` asks for: whole seconds from 1 to kLongestWait in decimal
// digits and nothing else (no sign, space or unit); nullopt for any other text.
std::optional<std::chrono::seconds> ParseWait(std::string_view text);

enum class Verdict {
    kPrinted,        // the spooler completed the job: the device took every byte
    kNotPrinted,     // aborted, cancelled, or stopped with its printer
    kNotPrintedYet,  // no verdict within the wait, or the spooler could not tell
};

struct JobVerdict {
    Verdict verdict = Verdict::kNotPrintedYet;
    std::string cause;  // "job Virtual-17 aborted: ..."; empty for kPrinted
};

// Watches the job the document started on `printer_name` became (`job_id`
// as StartDocPrinterA returned it) until the spooler decides or `wait` has
// passed, looking at once and then at growing intervals, the last look at
// the end of the wait. The job is left as it is whatever the verdict.
JobVerdict WaitForVerdict(platform::JobWatch& watch, const char* printer_name, std::uint32_t job_id,
                          std::chrono::seconds wait);

}  // namespace ploxwen::rawprint
