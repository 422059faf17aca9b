// Windowing services on POSIX: the two fields kept in memory until a window
// shows them, the failure message on stderr and, where a display is
// available, in a window from the window module.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/posix/window_module_abi.h"

namespace ploxwen::posix {

class PosixWindowing final : public platform::Windowing {
public:
    void SetFieldText(platform::Field field, std::u16string_view text) override;
    std::u16string FieldText(platform::Field field) override;
    void ShowMessage(std::u16string_view prompt) override;
    void ShowFormUntilClosed() override;

private:
    std::u16string text1_;
    std::u16string text2_;
    // The window module with its display open; null where there is none.
    const PloxwenWindowModule* window_module_ = nullptr;
};

}  // namespace ploxwen::posix
