#include "app/last_words.h"

#include "rawprint/job_verdict.h"

namespace ploxwen::app {

std::string CauseLine(ExitStatus status, const std::string& cause) {
    const char* fallback = nullptr;
    switch (status) {
        case ExitStatus::kPrinted:
        case ExitStatus::kNoPrinterMatched:
            return {};
        case ExitStatus::kNotRecognized:
            fallback = "printer could not be opened";
            break;
        case ExitStatus::kSpoolerCallFailed:
            fallback = "the spooler did not take the whole document";
            break;
        case ExitStatus::kJobUnconfirmed:
            fallback = "the spooler did not confirm the job";
            break;
        case ExitStatus::kNotPrinted:
            fallback = "the spooler did not print the job";
            break;
        case ExitStatus::kNotPrintedYet:
            fallback = "the spooler gave no verdict on the job";
            break;
        case ExitStatus::kUsageError:  // nothing else was done
            return "PLOXWEN_WAIT must be a whole number of seconds from 1 to " +
                   std::to_string(rawprint::kLongestWait.count());
    }
    return cause.empty() ? fallback : cause;
}

}  // namespace ploxwen::app
