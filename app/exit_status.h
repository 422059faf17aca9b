#pragma once

namespace ploxwen::app {

// What the process reports to its caller. It only reports: the load sequence
// is steered by the open result alone.
enum ExitStatus : int {
    kPrinted = 0,            // handed to the spooler, every call after the open succeeded
    kNoPrinterMatched = 1,   // no listed printer has that exact name; nothing sent
    kNotRecognized = 2,      // selection failed or the printer would not open; nothing sent
    kSpoolerCallFailed = 3,  // opened, but a later spooler call failed or wrote short
};

}  // namespace ploxwen::app
