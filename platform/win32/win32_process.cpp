#include "platform/win32/win32_process.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "platform/win32/winspool_deadline.h"

namespace ploxwen::win32 {
namespace {

// The C runtime treats every character up to the space as a blank here.
bool IsBlank(wchar_t c) {
    return c != L'\0' && c <= L' ';
}

// The payload is the user's data: no backslash or quote rule of the Windows
// argument syntax may touch it, or a label's `^FD"Hello"^FS` or a trailing
// `C:\dir\` would arrive rewritten. Only one pair of wrapping quotes goes.
std::wstring_view Unwrapped(std::wstring_view tail) {
    const std::size_t end = tail.find_last_not_of(L" \t");
    if (end == std::wstring_view::npos || end == 0) return tail;
    const std::wstring_view wrapped = tail.substr(0, end + 1);
    if (wrapped.front() != L'"' || wrapped.back() != L'"') return tail;
    const std::wstring_view inner = wrapped.substr(1, wrapped.size() - 2);
    return inner.find(L'"') == std::wstring_view::npos ? inner : tail;
}

}  // namespace

std::u16string ArgumentTextOf(const wchar_t* command_line) {
    const wchar_t* p = command_line;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p != L'\0' && !IsBlank(*p)) ++p;
    }
    while (IsBlank(*p)) ++p;

    const std::wstring_view text = Unwrapped(p);
    return std::u16string(text.begin(), text.end());
}

std::u16string Win32Process::ArgumentText() {
    return ArgumentTextOf(GetCommandLineW());
}

std::optional<std::string> Win32Process::EnvironmentVariable(const char* name) {
    const std::wstring wide_name(name, name + std::char_traits<char>::length(name));  // ASCII
    std::vector<wchar_t> value(64);
    DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length >= value.size()) {  // the size it needs, with the terminating null
        value.resize(length);
        length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    }
    if (length == 0 || length >= value.size()) return std::nullopt;
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(length), text.data(), size, nullptr,
                        nullptr);
    return text;
}

void Win32Process::WriteCause(std::string_view cause) {
    StandDownLastResort();  // one cause line per run: this one
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    const std::string line = "ploxwen: " + std::string(cause) + "\r\n";
    DWORD written = 0;
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Win32Process::EndProgram(int exit_status) {
    StandDownLastResort();
    ExitProcess(static_cast<UINT>(exit_status));
}

}  // namespace ploxwen::win32
