#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace ploxwen::rawprint {

inline constexpr char16_t kDocumentName[] = u"Command Print";

enum class PrintOutcome {
    kNotOpened,      // the printer would not open; nothing sent
    kPrinted,        // opened, and every later spooler call succeeded
    kSpoolerFailed,  // a call failed, and the spooler certainly holds no job of it
    kUnconfirmed,    // a call failed after a job may have come to exist
};

struct PrintResult {
    PrintOutcome outcome = PrintOutcome::kNotOpened;
    std::uint32_t job_id = 0;  // what StartDocPrinterA returned
    std::string printer_name;  // the narrow device name the printer was opened by
};

// The printing block: opens the current printer by its device name and sends
// the data field to it as one document of one page, written raw through the
// spooler. When the printer cannot be opened it returns kNotOpened at once;
// the caller shows the message. Every step runs under the load sequence's
// continue-on-error policy; an opened handle is always closed. `data_text`
// reads the data field when the page has been started.
PrintResult RunPrintingBlock(const platform::Platform& platform,
                             const std::function<std::u16string()>& data_text);

}  // namespace ploxwen::rawprint
