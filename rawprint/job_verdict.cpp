#include "rawprint/job_verdict.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "steps/run_step.h"

namespace ploxwen::rawprint {
namespace {

using std::chrono::milliseconds;

// A device that takes the job at once has it done within tens of
// milliseconds, so the second look comes soon; the pauses then double up to
// a quarter of a second, the interval of a long wait.
constexpr milliseconds kFirstPause(10);
constexpr milliseconds kLongestPause(250);

std::string WithReason(const std::string& line, const std::string& reason) {
    return reason.empty() ? line : line + ": " + reason;
}

}  // namespace

std::optional<std::chrono::seconds> ParseWait(std::string_view text) {
    unsigned long seconds = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds);
    if (text.empty() || error != std::errc() || stop != end || seconds < 1 ||
        seconds > static_cast<unsigned long>(kLongestWait.count())) {
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

JobVerdict WaitForVerdict(platform::JobWatch& watch, const char* printer_name, std::uint32_t job_id,
                          std::chrono::seconds wait) {
    // Without the longer deadline the watch is cut short, not wrong.
    steps::RunStep([&] { watch.BeginWatch(wait); });
    const milliseconds end = watch.Now() + wait;
    milliseconds pause = kFirstPause;
    platform::JobReport report;
    for (;;) {
        try {
            report = watch.LookAtJob(printer_name, job_id);
        } catch (const std::exception& failure) {
            return {Verdict::kNotPrintedYet, failure.what()};
        } catch (...) {
            return {Verdict::kNotPrintedYet, "the spooler could not tell what became of the job"};
        }
        if (report.phase == platform::JobPhase::kCompleted) return {Verdict::kPrinted, {}};
        if (report.phase == platform::JobPhase::kStopped)
            return {Verdict::kNotPrinted,
                    WithReason("job " + report.job + " " + report.state, report.reason)};
        const milliseconds now = watch.Now();
        if (now >= end) break;
        watch.Pause(std::min(pause, end - now));
        pause = std::min(pause * 2, kLongestPause);
    }
    return {Verdict::kNotPrintedYet, WithReason("job " + report.job + " still " + report.state + " after " +
                                                    std::to_string(wait.count()) + " s",
                                                report.reason)};
}

}  // namespace ploxwen::rawprint
