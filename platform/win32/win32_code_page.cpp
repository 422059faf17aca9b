#include "platform/win32/win32_code_page.h"

#include <windows.h>

#include <limits>

namespace ploxwen::win32 {

std::string ToAnsi(std::u16string_view text, bool exactly) {
    if (text.empty()) return {};  // a zero length is an error to Windows
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw platform::PlatformError("text too long to convert");
    }
    // No best fit: it would turn "ZebraΩ" into "ZebraO", which can be another
    // printer's name. A character without its own code becomes '?'. Where the
    // ANSI code page is UTF-8 every character has a code, and Windows refuses
    // both the flag and the used-default query.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? (exactly ? WC_ERR_INVALID_CHARS : 0) : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* const ask_default = exactly && !utf8 ? &used_default : nullptr;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wide_length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, flags, wide, wide_length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw platform::PlatformError("WideCharToMultiByte failed");
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, wide, wide_length, narrow.data(), size, nullptr, ask_default) !=
        size) {
        throw platform::PlatformError("WideCharToMultiByte failed");
    }
    if (used_default) throw platform::PlatformError("text has no exact form in the ANSI code page");
    return narrow;
}

}  // namespace ploxwen::win32
