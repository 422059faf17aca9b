// Test-only launcher: starts the command line held in the environment
// variable PLOXWEN_TEST_COMMAND_LINE exactly as given (CreateProcessW with no
// application name, so the first token names the program as on Windows),
// waits for it and returns its exit status. Wine's own start-up would
// re-quote a command line built from Unix arguments; this one does not.
//
// Statuses of its own (outside what PloxWen returns): 120 no command line,
// 121 the process could not be started, 122 its status could not be read.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
    const DWORD size = GetEnvironmentVariableW(L"PLOXWEN_TEST_COMMAND_LINE", nullptr, 0);
    if (size == 0) {
        std::fputs("launch: PLOXWEN_TEST_COMMAND_LINE is not set\n", stderr);
        return 120;
    }
    std::wstring line(size, L'\0');
    line.resize(GetEnvironmentVariableW(L"PLOXWEN_TEST_COMMAND_LINE", line.data(), size));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "launch: CreateProcessW failed, error %lu\n", GetLastError());
        return 121;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    const BOOL read = GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    if (!read) return 122;
    return static_cast<int>(status);
}
