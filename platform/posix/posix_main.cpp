// Entry point of the POSIX build: `ploxwen "PRINTER¦DATA"`.
#include <cstdio>
#include <exception>

#include "app/form1.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_deadline.h"
#include "platform/posix/cups_job_watch.h"
#include "platform/posix/cups_printer_list.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/posix_code_page.h"
#include "platform/posix/posix_process.h"
#include "platform/posix/posix_windowing.h"

int main(int argc, char** argv) {
    using namespace ploxwen;
    // Before anything takes a descriptor: no connection may get stderr's number.
    posix::OpenClosedStandardStreams();
    std::set_terminate(&posix::EndTerminatedRun);
    try {
        posix::PosixCodePage code_page = posix::PosixCodePage::FromEnvironment();
        posix::PosixProcess process(argc, argv, code_page);
        posix::PosixWindowing windowing;
        platform::Cause cause;
        posix::CupsConnection connection(cause);
        posix::CupsPrinterList printers(connection);
        posix::CupsSpooler spooler(connection, printers, code_page, cause);
        posix::CupsJobWatch job_watch(connection, spooler);
        const platform::Platform platform{process, windowing, printers, spooler, code_page, job_watch, cause};
        // Returns only when the program did not end in its load handler: after
        // the window, or where there was none to show.
        return app::RunApplication(platform);
    } catch (...) {
        // The run's parts could not be made (out of memory): nothing was
        // looked up or sent.
        platform::Cause cause;
        cause.NoteCaught();
        std::fprintf(stderr, "ploxwen: %s\n",
                     cause.words().empty() ? "out of memory" : cause.words().c_str());
        return steps::Code(steps::ExitStatus::kOwnFailure);
    }
}
