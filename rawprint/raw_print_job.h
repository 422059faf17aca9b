#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace ploxwen::rawprint {

inline constexpr char16_t kDocumentName[] = u"Command Print";

enum class PrintOutcome {
    kNotOpened,      // the printer would not open; nothing sent
    kPrinted,        // opened, and every later spooler call succeeded
    kSpoolerFailed,  // opened, but the payload was not all handed over: the spooler holds no job
    kUnconfirmed,    // the whole payload was handed over, but a call failed: the job may exist
};

// The printing block: opens the current printer by its device name and sends
// the data field to it as one document of one page, written raw through the
// spooler. When the printer cannot be opened it stops there and says so.
// Every step runs under the load sequence's continue-on-error policy; an
// opened handle is always closed. `data_text` reads the data field when the
// page has been started.
PrintOutcome RunPrintingBlock(const platform::Platform& platform,
                              const std::function<std::u16string()>& data_text);

}  // namespace ploxwen::rawprint
