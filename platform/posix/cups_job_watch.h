// Following a run's job on CUPS to the server's verdict (PLOXWEN_WAIT).
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/posix/cups_connection.h"

namespace ploxwen::posix {

class CupsJobWatch final : public platform::JobWatch {
public:
    explicit CupsJobWatch(CupsConnection& connection) : connection_(connection) {}

    std::optional<std::string> RequestedWait() override;
    void BeginWatch(std::chrono::seconds wait) override;
    platform::JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds pause) override;

private:
    CupsConnection& connection_;
};

}  // namespace ploxwen::posix
