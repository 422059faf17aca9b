// Following a run's job on the Windows spooler to its verdict (PLOXWEN_WAIT).
#pragma once

#include "platform/platform.h"

namespace ploxwen::win32 {

class Win32JobWatch final : public platform::JobWatch {
public:
    std::optional<std::string> RequestedWait() override;
    void BeginWatch(std::chrono::seconds /*wait*/) override {}
    platform::JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds pause) override;
};

}  // namespace ploxwen::win32
