#include "platform/win32/command_line.h"

#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <memory>

namespace ploxwen::win32 {
namespace {

// The C runtime treats every character up to the space as a blank here.
bool IsBlank(wchar_t c) {
    return c != L'\0' && c <= L' ';
}

struct LocalFreer {
    void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

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

    std::wstring text(p);
    if (!text.empty() && text.front() == L'"') {
        // A stand-in program name, so the tail is read with the rules for
        // arguments rather than those for the program's name.
        const std::wstring line = L"x " + text;
        int argc = 0;
        const std::unique_ptr<LPWSTR, LocalFreer> argv(CommandLineToArgvW(line.c_str(), &argc));
        if (argv && argc == 2) text = argv.get()[1];
    }
    return std::u16string(text.begin(), text.end());
}

}  // namespace ploxwen::win32
