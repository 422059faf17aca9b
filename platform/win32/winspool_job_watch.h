// Following a run's job on the Windows spooler to its verdict (PLOXWEN_WAIT).
//
// Each look opens the printer again with PRINTER_ACCESS_USE only, reads the
// job with GetJobW (and the printer with GetPrinterW where the job's status
// says nothing), and closes it. The functions are bound by name at their
// first use, from the one winspool.drv of the run.
#pragma once

#include "platform/platform.h"
#include "platform/win32/winspool_library.h"

namespace ploxwen::win32 {

class WinspoolJobWatch final : public platform::JobWatch {
public:
    explicit WinspoolJobWatch(WinspoolLibrary& winspool) : winspool_(winspool) {}

    // No deadline of its own to extend: each look is a few local calls.
    void BeginWatch(std::chrono::seconds /*wait*/) override {}
    platform::JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds pause) override;

private:
    // The printer's status bits, 0 when they cannot be read.
    DWORD PrinterStatus(HANDLE printer);

    WinspoolLibrary& winspool_;
    decltype(&::OpenPrinterA) open_printer_ = nullptr;
    decltype(&::GetJobW) get_job_ = nullptr;
    decltype(&::GetPrinterW) get_printer_ = nullptr;
    decltype(&::ClosePrinter) close_printer_ = nullptr;
};

}  // namespace ploxwen::win32
