// The spooler functions on the Windows spooler: each winspool function of
// the raw job, bound by name at its first call, with the system's reason for
// a zero result noted in the run's cause.
#pragma once

#include "platform/platform.h"
#include "platform/win32/winspool_library.h"

namespace ploxwen::win32 {

class WinspoolSpooler final : public platform::Spooler {
public:
    WinspoolSpooler(WinspoolLibrary& winspool, platform::Cause& cause) : winspool_(winspool), cause_(cause) {}

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
    // Its zero results never say whether a job is left, so none is a refusal.
    bool StartedDocumentIsJob() override { return true; }
    // The print processor decides what it takes; both types exist since XP's winprint.
    bool TakesDataType(std::string_view /*data_type*/) override { return true; }
    std::string AutoDataType(platform::PrinterHandle handle) override;

private:
    // Notes the system's reason when `result` is zero; returns `result`.
    template <typename Result>
    Result Checked(const char* function, Result result);

    WinspoolLibrary& winspool_;
    platform::Cause& cause_;
    decltype(&::OpenPrinterA) open_printer_ = nullptr;
    decltype(&::StartDocPrinterA) start_doc_printer_ = nullptr;
    decltype(&::StartPagePrinter) start_page_printer_ = nullptr;
    decltype(&::WritePrinter) write_printer_ = nullptr;
    decltype(&::EndPagePrinter) end_page_printer_ = nullptr;
    decltype(&::EndDocPrinter) end_doc_printer_ = nullptr;
    decltype(&::ClosePrinter) close_printer_ = nullptr;
    decltype(&::GetPrinterDriverW) get_printer_driver_ = nullptr;
};

}  // namespace ploxwen::win32
