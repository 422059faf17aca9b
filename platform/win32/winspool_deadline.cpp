#include "platform/win32/winspool_deadline.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <exception>

namespace ploxwen::win32 {
namespace {

constexpr std::uint64_t kRunMilliseconds = 30000;
// After the limit: a call the spooler ends by itself at the limit gets this
// long to return before the run is ended around it.
constexpr std::uint64_t kGraceMilliseconds = 1000;
constexpr DWORD kTickMilliseconds = 100;

std::atomic<std::uint64_t> limit{kRunMilliseconds};
std::atomic<int> status{2};
std::atomic<bool> stood_down{false};

DWORD WINAPI Watch(void* /*unused*/) {
    // The 32-bit tick (XP has no other) wraps; its differences do not.
    DWORD last = GetTickCount();
    std::uint64_t elapsed = 0;
    for (;;) {
        Sleep(kTickMilliseconds);
        const DWORD now = GetTickCount();
        elapsed += static_cast<DWORD>(now - last);
        last = now;
        if (stood_down) return 0;
        if (elapsed < limit + kGraceMilliseconds) continue;
        const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        if (error != nullptr && error != INVALID_HANDLE_VALUE) {
            static const char kLine[] = "ploxwen: spooler not answering\r\n";
            DWORD written = 0;
            WriteFile(error, kLine, sizeof kLine - 1, &written, nullptr);
        }
        // Not ExitProcess: the call that holds the run may hold the loader's lock too.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status.load()));
    }
}

}  // namespace

void StartLastResort() {
    const HANDLE thread = CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void ExtendLastResort(std::chrono::seconds more) {
    limit += static_cast<std::uint64_t>(std::chrono::milliseconds(more).count());
}

void SetLastResortStatus(int exit_status) {
    status = exit_status;
}

void EndTerminatedRun() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) {
        static const char kOutOfMemory[] = "ploxwen: out of memory\r\n";
        static const char kFailed[] = "ploxwen: the program failed\r\n";  // an exception escaped
        const bool escaped = std::current_exception() != nullptr;
        DWORD written = 0;
        WriteFile(error, escaped ? kFailed : kOutOfMemory,
                  escaped ? sizeof kFailed - 1 : sizeof kOutOfMemory - 1, &written, nullptr);
    }
    const int phase = status;
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(phase == 2 ? 71 : phase));
    std::abort();  // not reached: a process ended by itself does not come back
}

void StandDownLastResort() {
    stood_down = true;
}

}  // namespace ploxwen::win32
