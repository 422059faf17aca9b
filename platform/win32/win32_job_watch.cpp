#include "platform/win32/win32_job_watch.h"

#include <windows.h>

namespace ploxwen::win32 {

std::optional<std::string> Win32JobWatch::RequestedWait() {
    wchar_t value[32];
    const DWORD length = GetEnvironmentVariableW(L"PLOXWEN_WAIT", value, 32);
    if (length == 0) return std::nullopt;
    // Longer than the buffer: no valid wait, but still a value.
    if (length >= 32) return std::string(length, '?');
    std::string narrow;
    for (DWORD i = 0; i < length; ++i) narrow.push_back(value[i] < 0x80 ? static_cast<char>(value[i]) : '?');
    return narrow;
}

platform::JobReport Win32JobWatch::LookAtJob(const char* /*printer_name*/, std::uint32_t /*job_id*/) {
    throw platform::PlatformError("the job cannot be followed on this spooler");
}

std::chrono::milliseconds Win32JobWatch::Now() {
    return std::chrono::milliseconds(GetTickCount64());
}

void Win32JobWatch::Pause(std::chrono::milliseconds pause) {
    Sleep(static_cast<DWORD>(pause.count()));
}

}  // namespace ploxwen::win32
