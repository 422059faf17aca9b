#pragma once

namespace ploxwen::app {

// What the process reports to its caller, one contract on every platform.
// Set as the run goes; the load sequence itself is steered by the selection
// and the open only.
enum class ExitStatus : int {
    kPrinted = 0,            // handed to the spooler, every call after the open succeeded
    kNoPrinterMatched = 1,   // no listed printer has that exact name; nothing sent
    kNotRecognized = 2,      // not reached, selected or opened; nothing sent
    kSpoolerCallFailed = 3,  // the spooler certainly holds no job of this run: a retry cannot print twice
    kJobUnconfirmed = 4,     // a job of this run may exist, whole or in part: check before retrying
    // With a wait asked for (PLOXWEN_WAIT), 0 means the spooler completed the job, and:
    kNotPrinted = 5,     // the job was aborted or cancelled, or its printer stopped with it
    kNotPrintedYet = 6,  // no verdict within the wait: the job is left where it is
    kUsageError = 64,    // a wait that is not allowed was asked for; nothing looked up or sent (EX_USAGE)
};

inline int Code(ExitStatus status) {
    return static_cast<int>(status);
}

}  // namespace ploxwen::app
