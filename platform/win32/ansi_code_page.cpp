#include "platform/win32/ansi_code_page.h"

#include <windows.h>

#include <limits>

namespace ploxwen::win32 {

std::string AnsiCodePage::ToNarrow(std::u16string_view text) {
    if (text.empty()) return {};  // a zero length is an error to Windows
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw platform::PlatformError("text too long to convert");
    }
    // No best fit: it would turn "ZebraΩ" into "ZebraO", which can be another
    // printer's name. A character without its own code becomes '?'.
    constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wide_length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, kFlags, wide, wide_length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw platform::PlatformError("WideCharToMultiByte failed");
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, kFlags, wide, wide_length, narrow.data(), size, nullptr, nullptr) !=
        size) {
        throw platform::PlatformError("WideCharToMultiByte failed");
    }
    return narrow;
}

}  // namespace ploxwen::win32
