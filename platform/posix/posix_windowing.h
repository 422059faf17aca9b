// Windowing services on POSIX: the argument text from argv, the two fields
// kept in memory until a window shows them, the failure message on stderr and,
// where a display is available, in a window from the window module.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/narrow_text.h"
#include "platform/posix/window_module_abi.h"

namespace ploxwen::posix {

class PosixWindowing final : public platform::Windowing {
public:
    PosixWindowing(int argc, char** argv, const NarrowText& narrow_text);

    std::u16string ArgumentText() override;
    void SetFieldText(platform::Field field, std::u16string_view text) override;
    std::u16string FieldText(platform::Field field) override;
    void ShowMessage(std::u16string_view prompt) override;
    [[noreturn]] void EndProgram(int exit_status) override;
    void ShowFormUntilClosed() override;

    // Called with the exit status just before EndProgram ends the process.
    void BeforeEnd(std::function<void(int exit_status)> last_words) { last_words_ = std::move(last_words); }

private:
    std::function<void(int)> last_words_;
    std::vector<std::string> arguments_;
    const NarrowText& narrow_text_;
    std::u16string text1_;
    std::u16string text2_;
    // The window module with its display open; null where there is none.
    const PloxwenWindowModule* window_module_ = nullptr;
};

// The argument text as the shell left it: argv[1..] joined with single spaces.
std::string JoinArguments(const std::vector<std::string>& arguments);

}  // namespace ploxwen::posix
