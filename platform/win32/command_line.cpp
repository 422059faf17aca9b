#include "platform/win32/command_line.h"

#include <string_view>

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

}  // namespace ploxwen::win32
