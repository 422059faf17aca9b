#include "platform/win32/win32_code_page.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace ploxwen::win32 {
namespace {

// Code pages that take no flags: the ISO-2022 family, GB18030, ISCII, UTF-7 and the symbol font.
bool TakesNoFlags(UINT code_page) {
    return (code_page >= 50220 && code_page <= 50229) || code_page == 52936 || code_page == 54936 ||
           (code_page >= 57002 && code_page <= 57011) || code_page == CP_UTF7 || code_page == 42;
}

// The number `text` spells in decimal, or zero.
UINT Number(std::string_view text) {
    UINT number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

struct Named {
    const char* name;
    UINT code_page;
};
constexpr Named kNames[] = {{"UTF-8", CP_UTF8},  {"UTF8", CP_UTF8}, {"KOI8-R", 20866},   {"KOI8-U", 21866},
                            {"SHIFT_JIS", 932},  {"SJIS", 932},     {"GBK", 936},        {"BIG5", 950},
                            {"EUC-KR", 51949},   {"EUC-JP", 51932}, {"US-ASCII", 20127}, {"ASCII", 20127},
                            {"MACINTOSH", 10000}};

}  // namespace

UINT CodePageNamed(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const UINT number = Number(upper)) return number;
    for (const Named& known : kNames) {
        if (upper == known.name) return known.code_page;
    }
    for (const char* prefix : {"CP", "IBM", "WINDOWS-"}) {
        const std::string_view start(prefix);
        if (upper.compare(0, start.size(), start) == 0)
            return Number(std::string_view(upper).substr(start.size()));
    }
    // ISO-8859-N is code page 28590 + N (1 to 9, 13 and 15 exist).
    constexpr std::string_view kIso = "ISO-8859-";
    if (upper.compare(0, kIso.size(), kIso) == 0) {
        const UINT part = Number(std::string_view(upper).substr(kIso.size()));
        return part >= 1 && part <= 16 ? 28590 + part : 0;
    }
    return 0;
}

std::unique_ptr<platform::NarrowCodePage> Win32CodePage::ForCodePage(std::string_view name) {
    const UINT code_page = CodePageNamed(name);
    if (code_page == 0 || code_page == CP_UTF7 || !IsValidCodePage(code_page)) {
        throw platform::PlatformError("no such code page on this system");
    }
    return std::make_unique<Win32CodePage>(code_page);
}

std::string ToCodePage(UINT code_page, std::u16string_view text, bool exactly) {
    if (text.empty()) return {};  // a zero length is an error to Windows
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw platform::PlatformError("text too long to convert");
    }
    // No best fit: it would turn "ZebraΩ" into "ZebraO", which can be another
    // printer's name. A character without its own code becomes '?'. In UTF-8
    // every character has a code, and Windows refuses both the flag and the
    // used-default query there, as it does for the code pages without flags.
    const bool utf8 = code_page == CP_UTF8 || (code_page == CP_ACP && GetACP() == CP_UTF8);
    const bool no_flags = utf8 || TakesNoFlags(code_page);
    const DWORD flags = utf8 ? (exactly ? WC_ERR_INVALID_CHARS : 0) : no_flags ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* const ask_default = exactly && !no_flags ? &used_default : nullptr;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wide_length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(code_page, flags, wide, wide_length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw platform::PlatformError("WideCharToMultiByte failed");
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(code_page, flags, wide, wide_length, narrow.data(), size, nullptr, ask_default) !=
        size) {
        throw platform::PlatformError("WideCharToMultiByte failed");
    }
    if (used_default) throw platform::PlatformError("text has no exact form in the ANSI code page");
    return narrow;
}

}  // namespace ploxwen::win32
