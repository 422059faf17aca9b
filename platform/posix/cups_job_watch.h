// Following a run's job on CUPS to the server's verdict (PLOXWEN_WAIT): one
// Get-Job-Attributes per look, and a Get-Printer-Attributes as well while the
// job has not reached its printer, whose state then explains the wait.
#pragma once

#include "platform/platform.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_spooler.h"

namespace ploxwen::posix {

class CupsJobWatch final : public platform::JobWatch {
public:
    CupsJobWatch(CupsConnection& connection, const CupsSpooler& spooler)
        : connection_(connection), spooler_(spooler) {}

    void BeginWatch(std::chrono::seconds wait) override;
    // cupsd keeps a finished job's state in its history: nothing to ask for, nothing to let go.
    void KeepJob(platform::PrinterHandle /*handle*/, std::uint32_t /*job_id*/) override {}
    void EndWatch(bool /*release*/) override {}
    // The queue is the one the server named the job on, as it spells it.
    platform::JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds pause) override;

private:
    CupsConnection& connection_;
    const CupsSpooler& spooler_;
};

}  // namespace ploxwen::posix
