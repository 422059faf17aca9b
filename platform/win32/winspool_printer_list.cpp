#include "platform/win32/winspool_printer_list.h"

#include <string_view>

#include "platform/printer_snapshot.h"

namespace ploxwen::win32 {
namespace {

std::u16string ToU16(const wchar_t* text) {
    const std::wstring_view view(text ? text : L"");
    return std::u16string(view.begin(), view.end());
}

}  // namespace

const std::vector<std::u16string>& WinspoolPrinterList::Printers() {
    if (printers_) return *printers_;
    const auto enum_printers = winspool_.Bind(enum_printers_, "EnumPrintersW");
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<BYTE> buffer;
    DWORD returned = 0;
    if (!ReadGrowing(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
            return enum_printers(kFlags, nullptr, 4, data, size, needed, &returned);
        })) {
        throw platform::PlatformError(CauseOf("EnumPrintersW", GetLastError()));
    }
    std::vector<std::u16string> names;
    names.reserve(returned);
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(ToU16(info[i].pPrinterName));
    printers_ = std::move(names);
    return *printers_;
}

std::unique_ptr<platform::PrinterList> WinspoolPrinterList::ObtainPrinterListFor(
    std::u16string_view /*name*/) {
    return ObtainPrinterList();
}

std::unique_ptr<platform::PrinterList> WinspoolPrinterList::ObtainPrinterList() {
    return std::make_unique<platform::PrinterSnapshot>(Printers(), current_);
}

std::u16string WinspoolPrinterList::CurrentDeviceName() {
    if (current_) return *current_;
    const auto get_default_printer = winspool_.Bind(get_default_printer_, "GetDefaultPrinterW");
    std::vector<BYTE> buffer;
    // The size goes in and out in characters.
    if (!ReadGrowing(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
            DWORD characters = size / sizeof(wchar_t);
            const BOOL done =
                get_default_printer(data ? reinterpret_cast<wchar_t*>(data) : nullptr, &characters);
            *needed = characters * sizeof(wchar_t);
            return done;
        })) {
        throw platform::PlatformError(CauseOf("GetDefaultPrinterW", GetLastError()));
    }
    buffer.resize(buffer.size() + sizeof(wchar_t));  // a terminating null whatever came back
    current_ = ToU16(reinterpret_cast<const wchar_t*>(buffer.data()));
    return *current_;
}

}  // namespace ploxwen::win32
