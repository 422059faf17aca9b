// Entry point of the Windows build: `PloxWen.exe PRINTER¦DATA`.
#include <windows.h>

#include "app/form1.h"
#include "platform/win32/win32_code_page.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_windowing.h"
#include "platform/win32/winspool_deadline.h"
#include "platform/win32/winspool_job_watch.h"
#include "platform/win32/winspool_library.h"
#include "platform/win32/winspool_printer_list.h"
#include "platform/win32/winspool_spooler.h"

// The runtime ends a run through here when it cannot go on (no memory even
// to throw; every step absorbs its failures otherwise). Replacing its report
// also keeps the C++ demangler, about a sixth of the program, out of it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    ploxwen::win32::EndTerminatedRun();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace ploxwen;
    win32::StartLastResort();
    win32::Win32Process process;
    try {
        win32::Win32Windowing windowing(instance, show_command);
        platform::Cause cause;
        win32::WinspoolLibrary winspool;
        win32::WinspoolPrinterList printers(winspool);
        win32::WinspoolSpooler spooler(winspool, cause);
        win32::Win32CodePage code_page;
        win32::WinspoolJobWatch job_watch(winspool);
        const platform::Platform platform{process, windowing, printers, spooler, code_page, job_watch, cause};
        return app::RunApplication(platform);
    } catch (...) {
        // The run's parts could not be made (out of memory): nothing was
        // looked up or sent.
        platform::Cause cause;
        cause.NoteCaught();
        try {
            process.WriteCause(cause.words().empty() ? "out of memory" : cause.words());
        } catch (...) {
        }
        return steps::Code(steps::ExitStatus::kOwnFailure);
    }
}
