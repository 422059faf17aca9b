// Test-only launcher: runs the command line in PLOXWEN_TEST_COMMAND_LINE exactly as given
// (CreateProcessW with no application name: the first token names the program, as on
// Windows; Wine's start-up would re-quote one built from Unix arguments) and returns its
// exit status. With PLOXWEN_TEST_STDIN set, the program gets the launcher's standard
// handles (as cmd gives them for a redirection); otherwise none. Its own statuses: 120 no command line, 121
// not started, 122 status unreadable.
#include <windows.h>

#include <cstdio>

int wmain() {
    static wchar_t line[32768];  // the longest command line Windows takes
    if (GetEnvironmentVariableW(L"PLOXWEN_TEST_COMMAND_LINE", line, 32768) == 0) {
        std::fputs("launch: PLOXWEN_TEST_COMMAND_LINE is not set\n", stderr);
        return 120;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool pass_handles = GetEnvironmentVariableW(L"PLOXWEN_TEST_STDIN", nullptr, 0) != 0;
    if (pass_handles) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        HANDLE* const handles[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
        const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (int i = 0; i < 3; ++i) {
            *handles[i] = GetStdHandle(which[i]);
            SetHandleInformation(*handles[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
    }
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, pass_handles, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "launch: CreateProcessW failed, error %lu\n", GetLastError());
        return 121;
    }
    WaitForSingleObject(process.hProcess, INFINITE);  // the handles close when the launcher ends
    DWORD status = 0;
    return GetExitCodeProcess(process.hProcess, &status) ? static_cast<int>(status) : 122;
}
