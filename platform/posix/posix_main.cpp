// Entry point of the POSIX build: `ploxwen "PRINTER¦DATA"`.
#include "app/form1.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_job_watch.h"
#include "platform/posix/cups_printer_lookup.h"
#include "platform/posix/cups_spooler.h"
#include "platform/posix/narrow_text.h"
#include "platform/posix/posix_windowing.h"
#include "platform/posix/standard_streams.h"

int main(int argc, char** argv) {
    using namespace ploxwen;
    // Before anything takes a descriptor: no connection may get stderr's number.
    posix::OpenClosedStandardStreams();
    posix::NarrowText narrow_text = posix::NarrowText::FromEnvironment();
    posix::PosixWindowing windowing(argc, argv, narrow_text);
    posix::CupsConnection connection;
    posix::CupsPrinterLookup lookup(connection);
    posix::CupsSpooler spooler(connection, lookup, narrow_text);
    posix::CupsJobWatch job_watch(connection, spooler);
    const platform::Platform platform{windowing, lookup, spooler, narrow_text, job_watch};
    // Returns only when the program did not end in its load handler: after
    // the window, or where there was none to show.
    return app::RunApplication(platform);
}
