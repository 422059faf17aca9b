// A winspool.drv to plant beside PloxWen.exe: it ends any process that loads
// it with status 77, so a program that takes it for the spooler shows.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ExitProcess(77);
    return TRUE;
}
