// Entry point of the POSIX build: `ploxwen "PRINTER¦DATA"`.
#include "app/form1.h"
#include "platform/posix/cups_print_system.h"
#include "platform/posix/narrow_text.h"
#include "platform/posix/posix_windowing.h"

int main(int argc, char** argv) {
    using namespace ploxwen;
    posix::NarrowText narrow_text = posix::NarrowText::FromEnvironment();
    posix::PosixWindowing windowing(argc, argv, narrow_text);
    posix::CupsPrintSystem print_system(narrow_text);
    const platform::Platform platform{windowing, print_system, print_system, narrow_text};
    return app::RunApplication(platform);
}
