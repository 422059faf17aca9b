#pragma once

namespace ploxwen::app {

// What the process reports to its caller. It only reports: the load sequence
// is steered by the open result alone.
enum ExitStatus : int {
    kPrinted = 0,            // handed to the spooler, every call after the open succeeded
    kNoPrinterMatched = 1,   // no listed printer has that exact name; nothing sent
    kNotRecognized = 2,      // selection failed or the printer would not open; nothing sent
    kSpoolerCallFailed = 3,  // opened, but not every byte was handed over: no job exists
    kJobUnconfirmed = 4,     // every byte was handed over, but a later call failed: the job may exist
};

}  // namespace ploxwen::app
