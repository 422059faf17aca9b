#include "rawprint/job_verdict.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <string>

#include "platform/backoff.h"
#include "steps/run_step.h"

namespace ploxwen::rawprint {
namespace {

using std::chrono::milliseconds;
using steps::ExitStatus;

// A device that takes the job at once has it done within tens of
// milliseconds, so the second look comes soon; the pauses then double up to
// a quarter of a second, the interval of a long wait.
constexpr milliseconds kFirstPause(10);
constexpr milliseconds kLongestPause(250);

std::string WithReason(const std::string& line, const std::string& reason) {
    return reason.empty() ? line : line + ": " + reason;
}

// The looks, up to the verdict or the end of the wait.
ExitStatus Watch(platform::JobWatch& watch, platform::Cause& cause, const PrintResult& printed,
                 std::chrono::seconds wait) {
    // A verdict missing because the job was not kept says so.
    const std::string unkept = printed.not_kept.empty() ? "" : " (not kept: " + printed.not_kept + ")";
    const milliseconds end = watch.Now() + wait;
    platform::Backoff pauses(kFirstPause, kLongestPause);
    platform::JobReport report;
    bool seen_kept = false;
    std::string failed;  // the words of the last look, when it failed
    for (;;) {
        // A look that fails (a server reloading, a connection lost) is made
        // again until the wait ends: only the spooler's answer ends it early.
        platform::Cause look;
        if (steps::RunStep(look,
                           [&] { report = watch.LookAtJob(printed.printer_name.c_str(), printed.job_id); })) {
            failed.clear();
            if (report.phase == platform::JobPhase::kCompleted) return ExitStatus::kPrinted;
            if (report.phase == platform::JobPhase::kStopped) {
                cause.Note(WithReason("job " + report.job + " " + report.state, report.reason));
                return ExitStatus::kNotPrinted;
            }
            // Only a spooler seen keeping the job proves that its leaving was
            // a deletion: one that ignores the request may have printed it.
            if (report.phase == platform::JobPhase::kGone && seen_kept) {
                cause.Note("job " + report.job + " was deleted from the queue");
                return ExitStatus::kNotPrinted;
            }
            if (report.phase == platform::JobPhase::kGone) {
                cause.Note("job " + report.job + " left the queue without a verdict" +
                           (printed.kept ? " (the spooler did not keep it)" : unkept));
                return ExitStatus::kNoVerdictYet;
            }
            seen_kept = seen_kept || report.kept;
        } else {
            failed =
                look.words().empty() ? "the spooler could not tell what became of the job" : look.words();
        }
        const milliseconds now = watch.Now();
        if (now >= end) break;
        watch.Pause(std::min(pauses.Next(), end - now));
    }
    if (!failed.empty()) {
        cause.Note(failed + unkept);
    } else {
        cause.Note(WithReason("job " + report.job + " still " + report.state + " after " +
                                  std::to_string(wait.count()) + " s",
                              report.reason) +
                   unkept);
    }
    return ExitStatus::kNoVerdictYet;
}

}  // namespace

std::optional<std::chrono::seconds> RequestedWait(platform::Process& process) {
    const std::optional<std::string> text = process.EnvironmentVariable(kWaitVariable);
    if (!text) return std::nullopt;
    unsigned long seconds = 0;
    const char* const end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, seconds);
    if (error != std::errc() || stop != end || seconds < 1 ||
        seconds > static_cast<unsigned long>(kLongestWait.count())) {
        throw platform::PlatformError(std::string(kWaitVariable) +
                                      " must be a whole number of seconds from 1 to " +
                                      std::to_string(kLongestWait.count()));
    }
    return std::chrono::seconds(seconds);
}

ExitStatus WaitForVerdict(platform::JobWatch& watch, platform::Cause& cause, const PrintResult& printed,
                          std::chrono::seconds wait) {
    // Without the longer deadline the watch is cut short, not wrong.
    steps::RunStep([&] { watch.BeginWatch(wait); });
    const ExitStatus verdict = Watch(watch, cause, printed, wait);
    steps::RunStep([&] { watch.EndWatch(printed.kept && verdict == ExitStatus::kPrinted); });
    return verdict;
}

}  // namespace ploxwen::rawprint
