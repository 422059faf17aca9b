#include "platform/win32/winspool_spooler.h"

#include <string>
#include <vector>

#include "platform/win32/winspool_deadline.h"

namespace ploxwen::win32 {
namespace {

HANDLE ToHandle(platform::PrinterHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The narrow record has the layout of DOC_INFO_1A; the spooler gets a copy
// of the pointers, never the strings themselves.
static_assert(sizeof(platform::DocInfo1A) == sizeof(DOC_INFO_1A));

// A driver of the XPS print path (v4): it takes XPS only, or raw data as XPS_PASS.
// MinGW's winspool.h lacks it.
constexpr DWORD kPrinterDriverXps = 0x00000002;

}  // namespace

template <typename Result>
Result WinspoolSpooler::Checked(const char* function, Result result) {
    if (result == 0) cause_.Note(CauseOf(function, GetLastError()));
    return result;
}

std::int32_t WinspoolSpooler::OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                                           const void* defaults) {
    const auto open_printer = winspool_.Bind(open_printer_, "OpenPrinterA");
    if (handle == nullptr) return 0;
    HANDLE opened = nullptr;
    const BOOL status =
        Checked("OpenPrinterA", open_printer(const_cast<LPSTR>(printer_name), &opened,
                                             static_cast<LPPRINTER_DEFAULTSA>(const_cast<void*>(defaults))));
    *handle = reinterpret_cast<platform::PrinterHandle>(opened);
    return status;
}

std::uint32_t WinspoolSpooler::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                                const platform::DocInfo1A* doc_info) {
    const auto start_doc_printer = winspool_.Bind(start_doc_printer_, "StartDocPrinterA");
    if (doc_info == nullptr) return 0;
    DOC_INFO_1A record{const_cast<LPSTR>(doc_info->pDocName), const_cast<LPSTR>(doc_info->pOutputFile),
                       const_cast<LPSTR>(doc_info->pDatatype)};
    // From its start the spooler holds the job: a run ended now may leave one.
    SetLastResortStatus(4);
    return Checked("StartDocPrinterA",
                   start_doc_printer(ToHandle(handle), level, reinterpret_cast<LPBYTE>(&record)));
}

std::string WinspoolSpooler::AutoDataType(platform::PrinterHandle handle) {
    const auto get_printer_driver = winspool_.Bind(get_printer_driver_, "GetPrinterDriverW");
    std::vector<BYTE> record;
    // Level 8 came with Vista: XP refuses it, and has no such drivers.
    if (!ReadGrowing(record, [&](BYTE* buffer, DWORD size, DWORD* needed) {
            return get_printer_driver(ToHandle(handle), nullptr, 8, buffer, size, needed);
        })) {
        return "RAW";
    }
    const auto& driver = *reinterpret_cast<const DRIVER_INFO_8W*>(record.data());
    return (driver.dwPrinterDriverAttributes & kPrinterDriverXps) != 0 ? "XPS_PASS" : "RAW";
}

std::int32_t WinspoolSpooler::StartPagePrinter(platform::PrinterHandle handle) {
    return Checked("StartPagePrinter",
                   winspool_.Bind(start_page_printer_, "StartPagePrinter")(ToHandle(handle)));
}

std::int32_t WinspoolSpooler::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                           std::uint32_t count, std::uint32_t* written) {
    const auto write_printer = winspool_.Bind(write_printer_, "WritePrinter");
    if (written == nullptr) return 0;
    DWORD done = 0;
    const BOOL status =
        Checked("WritePrinter", write_printer(ToHandle(handle), const_cast<void*>(bytes), count, &done));
    // A short write succeeds and sets no error: the spool file may be full.
    if (status && done < count) {
        cause_.Note("WritePrinter took " + std::to_string(done) + " of " + std::to_string(count) + " bytes");
    }
    *written = done;
    return status;
}

std::int32_t WinspoolSpooler::EndPagePrinter(platform::PrinterHandle handle) {
    return Checked("EndPagePrinter", winspool_.Bind(end_page_printer_, "EndPagePrinter")(ToHandle(handle)));
}

std::int32_t WinspoolSpooler::EndDocPrinter(platform::PrinterHandle handle) {
    return Checked("EndDocPrinter", winspool_.Bind(end_doc_printer_, "EndDocPrinter")(ToHandle(handle)));
}

std::int32_t WinspoolSpooler::ClosePrinter(platform::PrinterHandle handle) {
    return Checked("ClosePrinter", winspool_.Bind(close_printer_, "ClosePrinter")(ToHandle(handle)));
}

}  // namespace ploxwen::win32
