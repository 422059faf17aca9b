// The narrow text the spooler and the printer receive: the system's ANSI
// code page (CP_ACP), or the one PLOXWEN_CODEPAGE names, converted by
// Windows itself.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ploxwen::win32 {

// `text` in `code_page`. A character the code page lacks becomes its
// default character ('?'), never a look-alike; `exactly`, it is a failure.
std::string ToCodePage(UINT code_page, std::u16string_view text, bool exactly = false);
inline std::string ToAnsi(std::u16string_view text, bool exactly = false) {
    return ToCodePage(CP_ACP, text, exactly);
}

// The code page `name` stands for: its number (437), or a common name that
// POSIX's iconv takes too (CP437, IBM437, WINDOWS-1252, ISO-8859-15, UTF-8,
// KOI8-R, ...). Zero for any other name.
UINT CodePageNamed(std::string_view name);

class Win32CodePage final : public platform::NarrowCodePage {
public:
    explicit Win32CodePage(UINT code_page = CP_ACP) : code_page_(code_page) {}

    std::string ToNarrow(std::u16string_view text) override { return ToCodePage(code_page_, text); }
    std::string ToNarrowExactly(std::u16string_view text) override {
        return ToCodePage(code_page_, text, true);
    }
    // Checked with IsValidCodePage: installed on this system.
    std::unique_ptr<platform::NarrowCodePage> ForCodePage(std::string_view name) override;

private:
    UINT code_page_;
};

}  // namespace ploxwen::win32
