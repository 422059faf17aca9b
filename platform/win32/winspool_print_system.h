// Printer list, current printer and spooler functions on the Windows spooler.
//
// winspool.drv is not imported: it is loaded from the system folder (never
// the program's own) on first use, and each function is bound by name at its
// first call, so a spooler that is missing or lacks a function fails that one
// step instead of keeping the program from starting.
#pragma once

#include <windows.h>
// windows.h first
#include <winspool.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ploxwen::win32 {

// The spooler library and the entry points bound so far.
class WinspoolLibrary {
public:
    WinspoolLibrary() = default;
    WinspoolLibrary(const WinspoolLibrary&) = delete;
    WinspoolLibrary& operator=(const WinspoolLibrary&) = delete;
    ~WinspoolLibrary();

    // `slot` if already bound, else binds it to `name`; throws when the
    // library or the function is missing.
    template <typename Function>
    Function Bind(Function& slot, const char* name) {
        if (slot == nullptr) slot = reinterpret_cast<Function>(Lookup(name));
        return slot;
    }

private:
    void (*Lookup(const char* name))();

    HMODULE module_ = nullptr;
};

// The cause line for `function` failing with the system error `error`, in
// the system's words: "EndDocPrinter failed: Access is denied (error 5)".
std::string FailureOf(const char* function, DWORD error);

class WinspoolPrintSystem final : public platform::PrintingServices, public platform::Spooler {
public:
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    std::u16string CurrentDeviceName() override;

    std::int32_t OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                              const void* defaults) override;
    std::uint32_t StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                   const platform::DocInfo1A* doc_info) override;
    std::int32_t StartPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                              std::uint32_t* written) override;
    std::int32_t EndPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t EndDocPrinter(platform::PrinterHandle handle) override;
    std::int32_t ClosePrinter(platform::PrinterHandle handle) override;

    // The spooler makes the job at StartDocPrinter: its result is the job id,
    // and a handle closed without EndDocPrinter ends the document as it is.
    bool StartedDocumentIsJob() override { return true; }
    // winspool's zero results say nothing of whether a job is left.
    bool LastFailureWasRefusal() override { return false; }
    std::string FailureCause() override { return cause_; }

private:
    // Binds like WinspoolLibrary::Bind, noting why a binding failed.
    template <typename Function>
    Function Bound(Function& slot, const char* name);
    // Notes the system's reason when `result` is zero; returns `result`.
    template <typename Result>
    Result Checked(const char* function, Result result);
    // Keeps the first failure's cause: later ones follow from it.
    void NoteCause(std::string cause);

    // The installed printers' names, enumerated once per run.
    const std::vector<std::u16string>& Printers();

    WinspoolLibrary winspool_;
    std::optional<std::vector<std::u16string>> printers_;
    // In-process only; starts as the user's default printer.
    std::optional<std::u16string> current_;
    std::string cause_;

    decltype(&::EnumPrintersW) enum_printers_ = nullptr;
    decltype(&::GetDefaultPrinterW) get_default_printer_ = nullptr;
    decltype(&::OpenPrinterA) open_printer_ = nullptr;
    decltype(&::StartDocPrinterA) start_doc_printer_ = nullptr;
    decltype(&::StartPagePrinter) start_page_printer_ = nullptr;
    decltype(&::WritePrinter) write_printer_ = nullptr;
    decltype(&::EndPagePrinter) end_page_printer_ = nullptr;
    decltype(&::EndDocPrinter) end_doc_printer_ = nullptr;
    decltype(&::ClosePrinter) close_printer_ = nullptr;
};

}  // namespace ploxwen::win32
