// Entry point of the POSIX build: `ploxwen "PRINTER¦DATA"`.
#include <cstdio>
#include <string>

#include "app/exit_status.h"
#include "app/form1.h"
#include "platform/posix/cups_print_system.h"
#include "platform/posix/narrow_text.h"
#include "platform/posix/posix_windowing.h"
#include "platform/posix/standard_streams.h"

int main(int argc, char** argv) {
    ploxwen::posix::OpenClosedStandardStreams();
    using namespace ploxwen;
    posix::NarrowText narrow_text = posix::NarrowText::FromEnvironment();
    posix::PosixWindowing windowing(argc, argv, narrow_text);
    posix::CupsPrintSystem print_system(narrow_text);
    const platform::Platform platform{windowing, print_system, print_system, narrow_text};

    // A failure a script can act on gets one line naming its cause, after the
    // message; success and a name that matches no printer stay silent.
    const auto name_the_cause = [&print_system](int exit_status) {
        std::string cause = print_system.FailureCause();
        switch (exit_status) {
            case app::kNotRecognized:
                if (cause.empty()) cause = "printer could not be opened";
                break;
            case app::kSpoolerCallFailed:
                if (cause.empty()) cause = "the spooler did not take the whole document";
                break;
            case app::kJobUnconfirmed:
                if (cause.empty()) cause = "the spooler did not confirm the job";
                break;
            default:
                return;
        }
        std::fprintf(stderr, "ploxwen: %s\n", cause.c_str());
    };
    windowing.BeforeEnd(name_the_cause);
    const int exit_status = app::RunApplication(platform);
    name_the_cause(exit_status);  // the run ended without EndProgram: after the window
    return exit_status;
}
