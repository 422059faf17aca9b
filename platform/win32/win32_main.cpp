// Entry point of the Windows build: `PloxWen.exe PRINTER¦DATA`.
#include <windows.h>

#include "app/form1.h"
#include "platform/win32/ansi_code_page.h"
#include "platform/win32/win32_windowing.h"
#include "platform/win32/winspool_print_system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
    using namespace ploxwen;
    win32::Win32Windowing windowing(instance, show_command);
    win32::WinspoolPrintSystem print_system;
    win32::AnsiCodePage code_page;
    const platform::Platform platform{windowing, print_system, print_system, code_page};
    return app::RunApplication(platform);
}
