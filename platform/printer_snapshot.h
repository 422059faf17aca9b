// The printer list as both backends serve it: one reading of the spooler per
// run, and a current printer that lives in the process only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ploxwen::platform {

// A view of `names` (device names, in list order) whose MakeCurrent sets
// `current`. Both outlive the view.
class PrinterSnapshot final : public PrinterList {
public:
    PrinterSnapshot(const std::vector<std::u16string>& names, std::optional<std::u16string>& current)
        : names_(names), current_(current) {}

    std::int32_t Count() override { return static_cast<std::int32_t>(names_.size()); }
    std::u16string DeviceName(std::int16_t index) override { return At(index); }
    void MakeCurrent(std::int16_t index) override { current_ = At(index); }

private:
    const std::u16string& At(std::int16_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) {
            throw PlatformError("no printer at that index");
        }
        return names_[static_cast<std::size_t>(index)];
    }

    const std::vector<std::u16string>& names_;
    std::optional<std::u16string>& current_;
};

}  // namespace ploxwen::platform
