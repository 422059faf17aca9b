// Printer list, current printer and spooler functions on CUPS.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/posix/narrow_text.h"

namespace ploxwen::posix {

class CupsPrintSystem final : public platform::PrintingServices, public platform::Spooler {
public:
    explicit CupsPrintSystem(NarrowText& narrow_text);
    ~CupsPrintSystem() override;

    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    std::u16string CurrentDeviceName() override;

    std::int32_t OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                              const void* defaults) override;
    std::uint32_t StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                   const platform::DocInfo1A* doc_info) override;
    std::int32_t StartPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                              std::uint32_t* written) override;
    std::int32_t EndPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t EndDocPrinter(platform::PrinterHandle handle) override;
    std::int32_t ClosePrinter(platform::PrinterHandle handle) override;

private:
    NarrowText& narrow_text_;
};

}  // namespace ploxwen::posix
