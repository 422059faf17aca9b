// The printer list and the current printer on the Windows spooler: the local
// and connected printers as EnumPrintersW lists them, once per run, and the
// user's default printer as the current one at start.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/winspool_library.h"

namespace ploxwen::win32 {

class WinspoolPrinterList final : public platform::PrintingServices {
public:
    explicit WinspoolPrinterList(WinspoolLibrary& winspool) : winspool_(winspool) {}

    // The whole list serves every search: enumerating is one local call.
    std::unique_ptr<platform::PrinterList> ObtainPrinterListFor(std::u16string_view name) override;
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    std::u16string CurrentDeviceName() override;

private:
    const std::vector<std::u16string>& Printers();

    WinspoolLibrary& winspool_;
    std::optional<std::vector<std::u16string>> printers_;
    // In-process only; starts as the user's default printer.
    std::optional<std::u16string> current_;
    decltype(&::EnumPrintersW) enum_printers_ = nullptr;
    decltype(&::GetDefaultPrinterW) get_default_printer_ = nullptr;
};

}  // namespace ploxwen::win32
