// Process services on Win32: the argument text of the command line as typed,
// the environment, the cause line on a standard error the caller gave, the
// exit.
#pragma once

#include <string>

#include "platform/platform.h"

namespace ploxwen::win32 {

// Everything after the program's name on `command_line`, the name skipped as
// the C runtime skips it for WinMain (a quoted name up to its closing quote,
// else up to the first blank) together with the blanks after it. The rest
// stays exactly as typed, spacing, backslashes and quotes included, with one
// exception: when it is wrapped whole in one pair of double quotes (trailing
// spaces and tabs aside) and holds no other quote, the text between the two
// is taken, so `PloxWen.exe "Receipt Printer¦HELLO"` names the printer
// without its quotes.
std::u16string ArgumentTextOf(const wchar_t* command_line);

class Win32Process final : public platform::Process {
public:
    // ArgumentTextOf the process's command line.
    std::u16string ArgumentText() override;
    // The value in UTF-8.
    std::optional<std::string> EnvironmentVariable(const char* name) override;
    // A file on disk into one buffer of its size; a pipe into one that grows.
    std::unique_ptr<platform::Payload> ReadFile(std::u16string_view path) override;
    // The handle the caller gave (cmd's <, a pipe, CreateProcess's
    // hStdInput); a console, or any character device, is refused.
    std::unique_ptr<platform::Payload> ReadStandardInput() override;
    // A GUI program has a standard error only where its caller gave it one.
    // Lines end in CR LF.
    void WriteCause(std::string_view cause) override;
    [[noreturn]] void EndProgram(int exit_status) override;
};

}  // namespace ploxwen::win32
