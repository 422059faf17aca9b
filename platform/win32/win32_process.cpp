#include "platform/win32/win32_process.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/win32/win32_code_page.h"
#include "platform/win32/winspool_deadline.h"
#include "platform/win32/winspool_library.h"

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

class HeldPayload final : public platform::Payload {
public:
    std::string_view Bytes() const override { return bytes_; }
    std::string bytes_;
};

// The largest piece one ReadFile call asks for.
constexpr DWORD kReadPiece = 1u << 20;

// `words` and the system's reason for `error`. No memory or no handle left
// is the program's own failure, not the file's.
[[noreturn]] void ThrowSystemFailure(const std::string& words, DWORD error) {
    const std::string cause = words + SystemReason(error);
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
        error == ERROR_TOO_MANY_OPEN_FILES || error == ERROR_NO_SYSTEM_RESOURCES)
        throw platform::ResourceError(cause);
    throw platform::PlatformError(cause);
}

// Everything `handle` holds from where it stands: a file on disk as the
// size it has now, which it must still hold; anything else to its end.
std::unique_ptr<platform::Payload> ReadWhole(HANDLE handle, const std::string& what) {
    auto payload = std::make_unique<HeldPayload>();
    std::string& bytes = payload->bytes_;
    const auto fail = [&](DWORD error) { ThrowSystemFailure("cannot read " + what, error); };
    LARGE_INTEGER size{}, at{};
    const bool on_disk = GetFileType(handle) == FILE_TYPE_DISK;
    if (on_disk) {
        if (!GetFileSizeEx(handle, &size) || !SetFilePointerEx(handle, LARGE_INTEGER{}, &at, FILE_CURRENT))
            fail(GetLastError());
        const LONGLONG left = size.QuadPart - (at.QuadPart < size.QuadPart ? at.QuadPart : size.QuadPart);
        if (static_cast<unsigned long long>(left) > bytes.max_size()) fail(ERROR_NOT_ENOUGH_MEMORY);
        bytes.resize(static_cast<std::size_t>(left));
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (on_disk) break;
            bytes.resize(bytes.empty() ? kReadPiece : bytes.size() * 2);
        }
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, kReadPiece));
        if (!::ReadFile(handle, bytes.data() + filled, ask, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE) break;  // the writer closed its end: the end
            fail(error);
        }
        if (got == 0) break;
        filled += got;
    }
    if (on_disk && filled < bytes.size()) throw platform::PlatformError(what + " shrank while it was read");
    bytes.resize(filled);
    return payload;
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

std::unique_ptr<platform::Payload> Win32Process::ReadFile(std::u16string_view path) {
    std::u16string shown(path);
    for (char16_t& c : shown) {
        if (c < 0x20 || c == 0x7F) c = u'?';
    }
    const std::string what = ToAnsi(shown);
    const std::wstring wide(path.begin(), path.end());
    const HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) ThrowSystemFailure("cannot open " + what, GetLastError());
    try {
        auto payload = ReadWhole(file, what);
        CloseHandle(file);
        return payload;
    } catch (...) {
        CloseHandle(file);
        throw;
    }
}

std::unique_ptr<platform::Payload> Win32Process::ReadStandardInput() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        throw platform::PlatformError("there is no standard input");
    // Nobody would end a console's input; a device has no end either.
    DWORD mode = 0;
    if (GetFileType(input) == FILE_TYPE_CHAR || GetConsoleMode(input, &mode))
        throw platform::PlatformError("standard input is a terminal");
    return ReadWhole(input, "standard input");
}

void Win32Process::WriteCause(std::string_view cause) {
    StandDownLastResort();  // one cause line per run: this one
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    std::string line = "ploxwen: ";
    for (const char c : cause) c == '\n' ? line += "\r\n" : line += c;
    line += "\r\n";
    DWORD written = 0;
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Win32Process::EndProgram(int exit_status) {
    StandDownLastResort();
    ExitProcess(static_cast<UINT>(exit_status));
}

}  // namespace ploxwen::win32
