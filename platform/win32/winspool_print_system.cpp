#include "platform/win32/winspool_print_system.h"

#include <string>
#include <string_view>

#include "platform/printer_snapshot.h"

namespace ploxwen::win32 {
namespace {

HANDLE ToHandle(platform::PrinterHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::u16string ToU16(const wchar_t* text) {
    const std::wstring_view view(text ? text : L"");
    return std::u16string(view.begin(), view.end());
}

// The narrow record has the layout of DOC_INFO_1A; the spooler gets a copy
// of the pointers, never the strings themselves.
static_assert(sizeof(platform::DocInfo1A) == sizeof(DOC_INFO_1A));

// The spooler from the system folder only: the default search starts in the
// program's own folder, where a planted winspool.drv would run with the
// program's rights.
HMODULE LoadSystemWinspool() {
    // The search flags came with AddDllDirectory (Windows 8, or an update to
    // Windows 7); older systems get the full path instead.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
        return LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\winspool.drv";
    // With a full path, the library's own imports are searched from its folder.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

// --- winspool.drv --------------------------------------------------------------

WinspoolLibrary::~WinspoolLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

void (*WinspoolLibrary::Lookup(const char* name))() {
    if (module_ == nullptr) {
        module_ = LoadSystemWinspool();
        if (module_ == nullptr) throw platform::PlatformError("winspool.drv cannot be loaded");
    }
    const FARPROC function = GetProcAddress(module_, name);
    if (function == nullptr) throw platform::PlatformError(std::string("winspool.drv lacks ") + name);
    return reinterpret_cast<void (*)()>(function);
}

std::string FailureOf(const char* function, DWORD error) {
    std::string cause = std::string(function) + " failed";
    if (error == ERROR_SUCCESS) return cause;
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string words(text != nullptr ? text : "", text != nullptr ? length : 0);
    LocalFree(text);
    // One line, without the sentence's full stop.
    for (char& c : words) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!words.empty() && (words.back() == ' ' || words.back() == '.')) words.pop_back();
    if (!words.empty()) cause += ": " + words;
    return cause + " (error " + std::to_string(error) + ")";
}

// --- Failure causes --------------------------------------------------------------

template <typename Function>
Function WinspoolPrintSystem::Bound(Function& slot, const char* name) {
    try {
        return winspool_.Bind(slot, name);
    } catch (const platform::PlatformError& error) {
        NoteCause(error.what());
        throw;
    }
}

template <typename Result>
Result WinspoolPrintSystem::Checked(const char* function, Result result) {
    if (result == 0) NoteCause(FailureOf(function, GetLastError()));
    return result;
}

void WinspoolPrintSystem::NoteCause(std::string cause) {
    if (cause_.empty()) cause_ = std::move(cause);
}

// --- Printer list and current printer ----------------------------------------

const std::vector<std::u16string>& WinspoolPrintSystem::Printers() {
    if (printers_) return *printers_;
    const auto enum_printers = Bound(enum_printers_, "EnumPrintersW");
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD returned = 0;
    // The list can grow between asking for the size and reading it.
    for (int attempt = 0;; ++attempt) {
        if (enum_printers(kFlags, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                          &returned)) {
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || attempt == 3) {
            NoteCause(FailureOf("EnumPrintersW", error));
            throw platform::PlatformError("EnumPrintersW failed");
        }
        buffer.resize(needed);
    }

    std::vector<std::u16string> names;
    names.reserve(returned);
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.push_back(ToU16(info[i].pPrinterName));
    printers_ = std::move(names);
    return *printers_;
}

std::unique_ptr<platform::PrinterList> WinspoolPrintSystem::ObtainPrinterList() {
    return std::make_unique<platform::PrinterSnapshot>(Printers(), current_);
}

std::u16string WinspoolPrintSystem::CurrentDeviceName() {
    if (current_) return *current_;
    const auto get_default_printer = winspool_.Bind(get_default_printer_, "GetDefaultPrinterW");
    std::wstring name;
    DWORD size = 0;
    for (int attempt = 0;; ++attempt) {
        name.resize(size);
        if (get_default_printer(size ? name.data() : nullptr, &size)) break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || attempt == 3) {
            throw platform::PlatformError("no default printer");
        }
    }
    name.resize(name.find(L'\0') == std::wstring::npos ? name.size() : name.find(L'\0'));
    current_ = ToU16(name.c_str());
    return *current_;
}

// --- Spooler -------------------------------------------------------------------

std::int32_t WinspoolPrintSystem::OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                                               const void* defaults) {
    const auto open_printer = Bound(open_printer_, "OpenPrinterA");
    HANDLE opened = nullptr;
    const BOOL status =
        Checked("OpenPrinterA", open_printer(const_cast<LPSTR>(printer_name), &opened,
                                             static_cast<LPPRINTER_DEFAULTSA>(const_cast<void*>(defaults))));
    *handle = reinterpret_cast<platform::PrinterHandle>(opened);
    return status;
}

std::uint32_t WinspoolPrintSystem::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                                    const platform::DocInfo1A* doc_info) {
    const auto start_doc_printer = Bound(start_doc_printer_, "StartDocPrinterA");
    DOC_INFO_1A record{const_cast<LPSTR>(doc_info->pDocName), const_cast<LPSTR>(doc_info->pOutputFile),
                       const_cast<LPSTR>(doc_info->pDatatype)};
    return Checked("StartDocPrinterA",
                   start_doc_printer(ToHandle(handle), level, reinterpret_cast<LPBYTE>(&record)));
}

std::int32_t WinspoolPrintSystem::StartPagePrinter(platform::PrinterHandle handle) {
    return Checked("StartPagePrinter", Bound(start_page_printer_, "StartPagePrinter")(ToHandle(handle)));
}

std::int32_t WinspoolPrintSystem::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                               std::uint32_t count, std::uint32_t* written) {
    const auto write_printer = Bound(write_printer_, "WritePrinter");
    DWORD done = 0;
    const BOOL status =
        Checked("WritePrinter", write_printer(ToHandle(handle), const_cast<void*>(bytes), count, &done));
    // A short write succeeds and sets no error: the spool file may be full.
    if (status && done < count) {
        NoteCause("WritePrinter took " + std::to_string(done) + " of " + std::to_string(count) + " bytes");
    }
    *written = done;
    return status;
}

std::int32_t WinspoolPrintSystem::EndPagePrinter(platform::PrinterHandle handle) {
    return Checked("EndPagePrinter", Bound(end_page_printer_, "EndPagePrinter")(ToHandle(handle)));
}

std::int32_t WinspoolPrintSystem::EndDocPrinter(platform::PrinterHandle handle) {
    return Checked("EndDocPrinter", Bound(end_doc_printer_, "EndDocPrinter")(ToHandle(handle)));
}

std::int32_t WinspoolPrintSystem::ClosePrinter(platform::PrinterHandle handle) {
    return Checked("ClosePrinter", Bound(close_printer_, "ClosePrinter")(ToHandle(handle)));
}

}  // namespace ploxwen::win32
