#include "platform/win32/winspool_library.h"

#include "platform/platform.h"

namespace ploxwen::win32 {
namespace {

// The spooler from the system folder only: the default search starts in the
// program's own folder, where a planted winspool.drv would run with the
// program's rights.
HMODULE LoadSystemWinspool() {
    // The search flags came with AddDllDirectory (Windows 8, or an update to
    // Windows 7); older systems get the full path instead.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
        return LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\winspool.drv";
    // With a full path, the library's own imports are searched from its folder.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

WinspoolLibrary::~WinspoolLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

void (*WinspoolLibrary::Lookup(const char* name))() {
    if (module_ == nullptr) {
        module_ = LoadSystemWinspool();
        if (module_ == nullptr) throw platform::PlatformError("winspool.drv cannot be loaded");
    }
    const FARPROC function = GetProcAddress(module_, name);
    if (function == nullptr) throw platform::PlatformError(std::string("winspool.drv lacks ") + name);
    return reinterpret_cast<void (*)()>(function);
}

std::string CauseOf(const char* function, DWORD error) {
    return std::string(function) + " failed" + SystemReason(error);
}

std::string SystemReason(DWORD error) {
    std::string cause;
    if (error == ERROR_SUCCESS) return cause;
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string words(text != nullptr ? text : "", text != nullptr ? length : 0);
    LocalFree(text);
    // One line, without the sentence's full stop.
    for (char& c : words) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!words.empty() && (words.back() == ' ' || words.back() == '.')) words.pop_back();
    if (!words.empty()) cause += ": " + words;
    return cause + " (error " + std::to_string(error) + ")";
}

}  // namespace ploxwen::win32
