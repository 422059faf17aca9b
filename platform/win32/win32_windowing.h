// Windowing services on Win32: the message box, and Form1 as a plain window
// with its two edit controls.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "platform/platform.h"

namespace ploxwen::win32 {

class Win32Windowing final : public platform::Windowing {
public:
    // `show_command` is how the caller asked for the window to appear.
    Win32Windowing(HINSTANCE instance, int show_command);
    ~Win32Windowing() override;

    void SetFieldText(platform::Field field, std::u16string_view text) override;
    std::u16string FieldText(platform::Field field) override;
    void ShowMessage(std::u16string_view prompt) override;
    void ShowFormUntilClosed() override;

private:
    // Form1 is created only to be shown, after the load sequence, so the
    // fields are read and written here and seed its edit controls. The
    // printing path thus never touches the window system, and runs where no
    // display can be reached.
    void CreateForm();

    HINSTANCE instance_;
    int show_command_;
    std::array<std::wstring, 2> texts_;
    HWND form_ = nullptr;
    std::array<HWND, 2> edits_{};
    HFONT font_ = nullptr;
};

}  // namespace ploxwen::win32
