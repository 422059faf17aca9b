// Following a run's job on the Windows spooler to its verdict (PLOXWEN_WAIT).
//
// The job is kept listed once printed (SetJobW's JOB_CONTROL_RETAIN) right
// after its start. The first look opens the printer again with
// PRINTER_ACCESS_USE only; every look reads the job with GetJobW through that
// handle (and the printer with GetPrinterW where the job's status says
// nothing), and the end of the wait releases a printed job and closes it.
// The functions are bound by name at their first use, from the one
// winspool.drv of the run.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/winspool_library.h"

namespace ploxwen::win32 {

class WinspoolJobWatch final : public platform::JobWatch {
public:
    explicit WinspoolJobWatch(WinspoolLibrary& winspool) : winspool_(winspool) {}

    // The run's limit grows by the wait.
    void BeginWatch(std::chrono::seconds wait) override;
    // SetJob's JOB_CONTROL_RETAIN (Vista and later): a queue deletes a job
    // as soon as it has printed unless it keeps printed documents.
    void KeepJob(platform::PrinterHandle handle, std::uint32_t job_id) override;
    // The looks share one handle, opened at the first.
    platform::JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) override;
    void EndWatch(bool release) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds pause) override;

private:
    // The printer's status bits, with PRINTER_STATUS_OFFLINE where it is set
    // to work offline (a powered-off USB printer); 0 when they cannot be read.
    DWORD PrinterStatus(HANDLE printer);

    WinspoolLibrary& winspool_;
    HANDLE watched_ = nullptr;  // the handle of the looks
    DWORD job_id_ = 0;
    decltype(&::SetJobW) set_job_ = nullptr;
    // The clock: milliseconds since its first reading.
    bool ticks_read_ = false;
    DWORD last_tick_ = 0;
    std::uint64_t elapsed_ = 0;
    decltype(&::OpenPrinterA) open_printer_ = nullptr;
    decltype(&::GetJobW) get_job_ = nullptr;
    decltype(&::GetPrinterW) get_printer_ = nullptr;
    decltype(&::ClosePrinter) close_printer_ = nullptr;
};

}  // namespace ploxwen::win32
