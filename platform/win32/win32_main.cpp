// Entry point of the Windows build: `PloxWen.exe PRINTER¦DATA`.
#include <windows.h>

#include <cstdlib>

#include "app/form1.h"
#include "platform/win32/ansi_code_page.h"
#include "platform/win32/win32_job_watch.h"
#include "platform/win32/win32_windowing.h"
#include "platform/win32/winspool_print_system.h"

// A GUI program has nowhere to print the runtime's report of an uncaught
// exception (there is none: every step absorbs its failures). Replacing the
// report keeps the C++ demangler, about a sixth of the program, out of it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace ploxwen;
    win32::Win32Windowing windowing(instance, show_command);
    win32::WinspoolPrintSystem print_system;
    win32::AnsiCodePage code_page;
    win32::Win32JobWatch job_watch;
    const platform::Platform platform{windowing, print_system, print_system, code_page, job_watch};
    return app::RunApplication(platform);
}
