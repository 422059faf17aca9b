// What the process reports to its caller: one contract on every platform,
// each status named by what it promises a script.
#pragma once

namespace ploxwen::steps {

enum class ExitStatus : int {
    kPrinted = 0,        // accepted by the spooler, every call after the open succeeded; with a wait: printed
    kNoSuchPrinter = 1,  // no listed printer has exactly that name; nothing sent
    kNotReached = 2,     // not reached, selected or opened; nothing sent
    kNoJob = 3,          // the spooler certainly holds no job of this run: a retry cannot print twice
    kJobMayExist = 4,    // a job of this run may exist, whole or in part: check before retrying
    kNotPrinted = 5,     // with a wait: aborted, cancelled, or stopped with its printer
    kNoVerdictYet = 6,   // with a wait: no verdict when it ended; the job is left where it is
    kCallRefused = 64,   // the call cannot be honoured as asked (EX_USAGE); nothing looked up or sent
    kOwnFailure = 71,    // the program's own memory or another resource failed (EX_OSERR); no job
};

inline int Code(ExitStatus status) {
    return static_cast<int>(status);
}

}  // namespace ploxwen::steps
