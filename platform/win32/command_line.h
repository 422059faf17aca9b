// The argument text of a Windows command line.
#pragma once

#include <string>

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

}  // namespace ploxwen::win32
