// winspool.drv, loaded once per run from the system folder (never the
// program's own) and shared by the printer list, the spooler and the job
// watch; each function is bound by name at its first call, so a spooler
// that is missing or lacks a function fails that one step instead of keeping
// the program from starting. And what every caller of winspool shares: the
// reading of a variable-size record, and the words of a failed call.
#pragma once

#include <windows.h>
// windows.h first
#include <winspool.h>

#include <string>
#include <vector>

namespace ploxwen::win32 {

class WinspoolLibrary {
public:
    WinspoolLibrary() = default;
    WinspoolLibrary(const WinspoolLibrary&) = delete;
    WinspoolLibrary& operator=(const WinspoolLibrary&) = delete;
    ~WinspoolLibrary();

    // `slot` if already bound, else binds it to `name`; throws PlatformError
    // naming what is missing when the library or the function is.
    template <typename Function>
    Function Bind(Function& slot, const char* name) {
        if (slot == nullptr) slot = reinterpret_cast<Function>(Lookup(name));
        return slot;
    }

private:
    void (*Lookup(const char* name))();

    HMODULE module_ = nullptr;
};

// Fills `record` by `read(buffer, size, &needed)`, growing it as the call
// asks (a list can grow between two calls); false with the call's error left
// in GetLastError, ERROR_SUCCESS where it set none.
template <typename Read>
bool ReadGrowing(std::vector<BYTE>& record, Read read) {
    DWORD needed = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        if (read(record.data(), static_cast<DWORD>(record.size()), &needed)) return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        record.resize(needed);
    }
    return false;
}

// The cause line for `function` failing with the system error `error`, in
// the system's words: "EndDocPrinter failed: Access is denied (error 5)".
std::string CauseOf(const char* function, DWORD error);
// ": the system's words (error N)" for `error`; empty for ERROR_SUCCESS.
std::string SystemReason(DWORD error);

}  // namespace ploxwen::win32
