// The narrow text the spooler and the printer receive: the system's ANSI
// code page (CP_ACP), converted by Windows itself.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ploxwen::win32 {

// `text` in the ANSI code page. A character the code page lacks becomes its
// default character ('?'), never a look-alike; `exactly`, it is a failure.
std::string ToAnsi(std::u16string_view text, bool exactly = false);

class Win32CodePage final : public platform::NarrowCodePage {
public:
    std::string ToNarrow(std::u16string_view text) override { return ToAnsi(text); }
    std::string ToNarrowExactly(std::u16string_view text) override { return ToAnsi(text, true); }
};

}  // namespace ploxwen::win32
