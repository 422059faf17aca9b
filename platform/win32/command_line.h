// The argument text of a Windows command line.
#pragma once

#include <string>

namespace ploxwen::win32 {

// Everything after the program's name on `command_line`, the name skipped as
// the C runtime does (a quoted name up to its closing quote, else up to the
// first blank) together with the blanks after it. The rest stays exactly as
// typed, spacing and quotes included. When it starts with a double quote and
// the Windows argument rules read it as exactly one argument, that argument
// is the text, so `PloxWen.exe "Receipt Printer¦HELLO"` names the printer
// without its quotes.
std::u16string ArgumentTextOf(const wchar_t* command_line);

}  // namespace ploxwen::win32
